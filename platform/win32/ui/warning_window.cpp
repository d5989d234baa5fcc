#include "platform/win32/ui/warning_window.h"

#include "platform/win32/handles.h"
#include "platform/win32/resources/resource_ids.h"
#include "platform/win32/ui/pointer.h"
#include "platform/win32/ui/window_class.h"
#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr int kDesignDpi = 96;
constexpr COLORREF kRed = RGB(255, 0, 0);

struct WarningWindow {
    explicit WarningWindow(const WarningFormDesign& form_design) : design(form_design) {}

    const WarningFormDesign& design;
    int dpi = kDesignDpi;
    GdiObject picture;
    GdiObject label_font;

    int scaled(int design_pixels) const { return MulDiv(design_pixels, dpi, kDesignDpi); }
    RECT scaled_rect(int left, int top, int width, int height) const {
        return RECT{scaled(left), scaled(top), scaled(left + width), scaled(top + height)};
    }
};

int system_dpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kDesignDpi;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kDesignDpi;
}

void paint_picture(const WarningWindow& window, HDC dc) {
    const WarningFormDesign& d = window.design;
    const RECT area =
        window.scaled_rect(d.picture_left, d.picture_top, d.picture_width, d.picture_height);
    if (window.picture) {
        BITMAP info{};
        GetObjectW(window.picture.get(), sizeof info, &info);
        const HDC memory = CreateCompatibleDC(dc);
        {
            const SelectedObject selected(memory, window.picture.get());
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top,
                       memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        }
        DeleteDC(memory);
        return;
    }
    // Without its picture the window still says what the picture would show.
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT text_area = area;
    InflateRect(&text_area, -window.scaled(16), -window.scaled(16));
    SetTextColor(dc, RGB(0, 0, 0));
    const std::wstring message = wide(d.picture_message);
    DrawTextW(dc, message.c_str(), static_cast<int>(message.size()), &text_area,
              DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_NOPREFIX);
}

void paint_shape(const WarningWindow& window, HDC dc) {
    const WarningFormDesign& d = window.design;
    const RECT shape = window.scaled_rect(d.shape_left, d.shape_top, d.shape_width, d.shape_height);
    const GdiObject pen(CreatePen(PS_INSIDEFRAME, window.scaled(2), kRed));
    const SelectedObject selected_pen(dc, pen.get());
    const SelectedObject selected_brush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, shape.left, shape.top, shape.right, shape.bottom);
}

void paint_label(const WarningWindow& window, HDC dc) {
    const WarningFormDesign& d = window.design;
    RECT area = window.scaled_rect(d.label_left, d.label_top, d.label_width, d.label_height);
    const SelectedObject selected(dc, window.label_font.get());
    SetTextColor(dc, kRed);
    const std::wstring text = wide(d.label_text);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

void paint(const WarningWindow& window, HWND hwnd) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(hwnd, &ps);
    SetBkMode(dc, TRANSPARENT);
    paint_picture(window, dc);
    paint_shape(window, dc);
    paint_label(window, dc);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK warning_window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    const auto* window =
        reinterpret_cast<const WarningWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT:
        if (window != nullptr) {
            paint(*window, hwnd);
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (LOWORD(lparam) == HTCLIENT) {
            apply_pointer();
            return TRUE;
        }
        break;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool register_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = warning_window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(PELTO_IDI_PROGRAM));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kWarningWindowClass;
    return register_window_class(window_class);
}

// Esc pressed while the window is active closes it, whether or not it has the keyboard
// focus: an active window without the focus (SetFocus refused, or the focus lost to
// nothing) receives its keys as WM_SYSKEYDOWN, which its procedure would never see as
// a plain key.
bool is_escape_for(HWND hwnd, const MSG& msg) {
    return (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == VK_ESCAPE &&
           (msg.hwnd == nullptr || msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd));
}

// Runs the window's messages until it is gone. A WM_QUIT met on the way is put back for
// whoever runs the loop outside.
void run_until_closed(HWND hwnd) {
    MSG msg;
    while (IsWindow(hwnd)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        if (is_escape_for(hwnd, msg)) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

bool run_warning_window(const WarningFormDesign& design) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!register_class(instance)) {
        return false;
    }
    WarningWindow window{design};
    window.dpi = system_dpi();
    window.picture.reset(LoadImageW(instance, MAKEINTRESOURCEW(PELTO_IDB_WARNING_PICTURE),
                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    window.label_font.reset(CreateFontW(
        -MulDiv(design.label_point_size, window.dpi, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
        HANGEUL_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
        DEFAULT_PITCH | FF_DONTCARE, wide(design.label_font).c_str()));

    // The client area has the design's size; the window is centred by its outer size.
    RECT outer{0, 0, window.scaled(design.client_width), window.scaled(design.client_height)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

    const HWND hwnd =
        CreateWindowExW(kExStyle, kWarningWindowClass, wide(design.caption).c_str(), kStyle, left,
                        top, width, height, nullptr, nullptr, instance, &window);
    if (hwnd == nullptr) {
        return false;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    run_until_closed(hwnd);
    // A WM_QUIT ends the loop early; the window must not outlive the data it paints.
    if (IsWindow(hwnd)) {
        DestroyWindow(hwnd);
    }
    return true;
}

} // namespace pelto::platform::win32
