// The dialogs and windows as real windows, answered by a second thread as a user would
// answer them. They need a desktop (under Wine: a display); without one they are skipped.
#include "forms/frm_message.h"
#include "platform/win32/ui/input_box.h"
#include "platform/win32/ui/ui_win32.h"
#include "platform/win32/ui/warning_window.h"
#include "tests/win32/win32_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace pelto::win32_test {
namespace {

// The thread that shows the dialogs under test.
DWORD g_ui_thread = 0;

struct WindowSearch {
    const wchar_t* window_class;
    const wchar_t* caption;
    HWND found = nullptr;
};

// An EnumWindows callback: a CALLBACK (stdcall) function, which a lambda cannot be in the
// 32-bit program.
BOOL CALLBACK visit_window(HWND hwnd, LPARAM lparam) {
    auto* s = reinterpret_cast<WindowSearch*>(lparam);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    wchar_t text[256] = {};
    wchar_t cls[256] = {};
    GetWindowTextW(hwnd, text, 256);
    GetClassNameW(hwnd, cls, 256);
    if (process == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
        (s->window_class == nullptr || std::wstring(cls) == s->window_class) &&
        (s->caption == nullptr || std::wstring(text) == s->caption)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Finds a visible top-level window of this process by class and caption (either may be
// null), waiting up to 20 s for it to appear. When none appears, the dialog's loop is
// ended with WM_QUIT so that the test fails at once instead of hanging.
HWND wait_for_window(const wchar_t* window_class, const wchar_t* caption) {
    WindowSearch search{window_class, caption};
    for (int i = 0; i < 400; ++i) {
        EnumWindows(visit_window, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return search.found;
        }
        Sleep(50);
    }
    PostThreadMessageW(g_ui_thread, WM_QUIT, 0, 0);
    return nullptr;
}

std::wstring text_of_window(HWND hwnd) {
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

// Runs `answer` on a second thread while the calling thread shows a modal dialog.
class Answerer {
public:
    explicit Answerer(std::function<void()> answer) : thread_(std::move(answer)) {}
    ~Answerer() { thread_.join(); }
    Answerer(const Answerer&) = delete;
    Answerer& operator=(const Answerer&) = delete;

private:
    std::thread thread_;
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desktop_available()) {
            GTEST_SKIP() << "no desktop to show windows on";
        }
        g_ui_thread = GetCurrentThreadId();
    }
    TempFolder folder_;
    platform::win32::Win32RunLog log_{folder_ / L"run.log"};
    platform::win32::Win32UserInterface ui_{log_};
};

TEST_F(UiTest, InputBoxGivesTheTypedTextUntrimmed) {
    std::wstring prompt_seen;
    Text typed;
    {
        Answerer answer([&] {
            const HWND dialog = wait_for_window(L"#32770", L"PeltoUserInstall");
            ASSERT_NE(dialog, nullptr);
            wchar_t prompt[256] = {};
            GetDlgItemTextW(dialog, platform::win32::kInputBoxPromptId, prompt, 256);
            prompt_seen = prompt;
            SetDlgItemTextW(dialog, platform::win32::kInputBoxEditId, L" 12345678 ");
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        typed = ui_.input_box(u"요양기관기호를 입력해주세요.", u"PeltoUserInstall");
    }
    EXPECT_EQ(prompt_seen, L"요양기관기호를 입력해주세요.");
    EXPECT_EQ(typed, u" 12345678 ");
}

TEST_F(UiTest, InputBoxCancelAndEscapeGiveEmptyText) {
    for (const bool escape : {false, true}) {
        Text typed = u"unchanged";
        {
            Answerer answer([&] {
                const HWND dialog = wait_for_window(L"#32770", L"입력");
                ASSERT_NE(dialog, nullptr);
                SetDlgItemTextW(dialog, platform::win32::kInputBoxEditId, L"12345678");
                if (escape) {
                    const HWND edit = GetDlgItem(dialog, platform::win32::kInputBoxEditId);
                    PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
                } else {
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                }
            });
            typed = ui_.input_box(u"코드", u"입력");
        }
        EXPECT_EQ(typed, u"") << (escape ? "Esc" : "Cancel");
    }
}

// The message box's icon control, if it shows one.
HICON shown_icon(HWND box) {
    HICON icon = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (std::wstring(cls) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child)) {
            icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        }
    }
    return icon;
}

bool shows_text(HWND box, const std::wstring& text) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (text_of_window(child) == text) {
            return true;
        }
    }
    return false;
}

TEST_F(UiTest, MessageBoxShowsTextCaptionAndTheIconAsked) {
    struct Case {
        platform::MessageIcon icon;
        const wchar_t* expected; // a system icon, or null for none
    };
    for (const Case c : {Case{platform::MessageIcon::Information, IDI_INFORMATION},
                         Case{platform::MessageIcon::Critical, IDI_ERROR},
                         Case{platform::MessageIcon::None, nullptr}}) {
        bool text_seen = false;
        HICON icon = nullptr;
        {
            Answerer answer([&] {
                const HWND box = wait_for_window(L"#32770", L"PeltoUserInstall");
                ASSERT_NE(box, nullptr);
                text_seen = shows_text(box, L"설치가 완료 되었습니다.");
                icon = shown_icon(box);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            });
            ui_.message_box(u"설치가 완료 되었습니다.", c.icon, u"PeltoUserInstall");
        }
        EXPECT_TRUE(text_seen);
        if (c.expected != nullptr) {
            EXPECT_EQ(icon, LoadIconW(nullptr, c.expected));
        } else {
            EXPECT_EQ(icon, nullptr);
        }
    }
}

// The warning window as the program shows it.
platform::WarningFormDesign warning_design() {
    return frm메세지::Design();
}

int screen_dpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

bool has_red_pixel(HDC dc, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) > 200 && GetGValue(c) < 80 && GetBValue(c) < 80) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(UiTest, WarningWindowIsCentredSizedDrawnAndClosedByEscape) {
    const int dpi = screen_dpi();
    const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
    RECT client{};
    RECT outer{};
    std::wstring caption;
    COLORREF shape_edge = 0;
    COLORREF picture_title = 0;
    bool label_red = false;
    {
        Answerer answer([&] {
            const HWND window = wait_for_window(platform::win32::kWarningWindowClass, nullptr);
            ASSERT_NE(window, nullptr);
            Sleep(300); // let it paint
            GetClientRect(window, &client);
            GetWindowRect(window, &outer);
            caption = text_of_window(window);
            const HDC dc = GetDC(window);
            shape_edge = GetPixel(dc, scaled(41), scaled(101 + 91));
            picture_title = GetPixel(dc, scaled(200), scaled(1 + 5));
            label_red = has_red_pixel(dc, scaled(9), scaled(338), scaled(300), scaled(360));
            ReleaseDC(window, dc);
            PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        ui_.show_warning_form(warning_design());
    }
    EXPECT_EQ(caption, L"경고");
    EXPECT_EQ(client.right - client.left, scaled(489));
    EXPECT_EQ(client.bottom - client.top, scaled(366));
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    EXPECT_EQ(shape_edge, RGB(255, 0, 0));
    // The picture resource is there: the title bar of the installer's window it shows.
    EXPECT_EQ(picture_title, RGB(0x2B, 0x57, 0x97));
    EXPECT_TRUE(label_red);
}

TEST_F(UiTest, WarningWindowClosedByItsCloseButton) {
    bool closed_while_shown = false;
    {
        Answerer answer([&] {
            const HWND window = wait_for_window(platform::win32::kWarningWindowClass, L"경고");
            ASSERT_NE(window, nullptr);
            closed_while_shown = IsWindowVisible(window) != FALSE;
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        ui_.show_warning_form(warning_design());
    }
    EXPECT_TRUE(closed_while_shown);
    EXPECT_EQ(FindWindowW(platform::win32::kWarningWindowClass, nullptr), nullptr);
}

TEST_F(UiTest, WarningWindowEndedByQuitIsGoneAndTheQuitKept) {
    const DWORD ui_thread = GetCurrentThreadId();
    {
        Answerer answer([&] {
            ASSERT_NE(wait_for_window(platform::win32::kWarningWindowClass, L"경고"), nullptr);
            PostThreadMessageW(ui_thread, WM_QUIT, 3, 0);
        });
        ui_.show_warning_form(warning_design());
    }
    // The window did not outlive the call, and the quit is left for the caller's loop.
    EXPECT_EQ(FindWindowW(platform::win32::kWarningWindowClass, nullptr), nullptr);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3U);
}

TEST_F(UiTest, HiddenWindowOwnsTheShellCopyAndIsNeverShown) {
    const std::wstring source = folder_ / L"업데이트";
    const std::wstring target = folder_ / L"펠토사용자설치";
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW(target.c_str(), nullptr);
    const std::string content(100000, 'p');
    write_bytes(source + L"\\installpelto_H.exe", content);

    auto owner = ui_.create_hidden_window();
    const HWND hwnd = static_cast<HWND>(owner->native_handle());
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindow(hwnd));
    // Topmost, so the shell's question it owns never opens hidden behind other windows.
    EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    platform::win32::Win32ShellCopy shell;
    MemoryLog log;
    platform::win32::Win32FileSystem files(log);
    const std::unique_ptr<platform::Folder> staging =
        platform::PathFiles(files, log).open_folder(text_of(target));
    ASSERT_NE(staging, nullptr);
    EXPECT_EQ(shell.copy_file(*owner, text_of(source + L"\\installpelto_H.exe"), *staging), 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(read_bytes(target + L"\\installpelto_H.exe"), std::optional<std::string>(content));
    owner.reset();
    EXPECT_FALSE(IsWindow(hwnd));
}

} // namespace
} // namespace pelto::win32_test
