#include "platform/win32/ui/ui_win32.h"

#include "platform/shell_copy.h"
#include "platform/win32/handles.h"
#include "platform/win32/ui/input_box.h"
#include "platform/win32/ui/pointer.h"
#include "platform/win32/ui/report_window.h"
#include "platform/win32/ui/warning_window.h"
#include "platform/win32/ui/window_class.h"
#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

UINT icon_style(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return MB_ICONINFORMATION;
    case MessageIcon::Critical:
        return MB_ICONSTOP;
    case MessageIcon::None:
        break;
    }
    return 0;
}

class HiddenWindow final : public OwnerWindow {
public:
    explicit HiddenWindow(HWND hwnd) : window_(hwnd) {}
    void* native_handle() const override { return window_.get(); }

private:
    WindowHandle window_;
};

bool register_hidden_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.lpszClassName = kHiddenWindowClass;
    return register_window_class(window_class);
}

} // namespace

void Win32UserInterface::message_box(TextView text, MessageIcon icon, TextView caption) {
    // The program has no main window: the box comes to the front by itself.
    const UINT style = MB_OK | icon_style(icon) | MB_SETFOREGROUND;
    if (MessageBoxW(nullptr, wide(text).c_str(), wide(caption).c_str(), style) == 0) {
        log_.write("message box could not be shown (" + describe_win32_error(GetLastError()) +
                   "): " + to_utf8(text));
    }
}

Text Win32UserInterface::input_box(TextView prompt, TextView caption) {
    const std::optional<Text> typed = run_input_box(prompt, caption);
    if (!typed) {
        // Nothing can be typed without the dialog: the run goes on as after Cancel.
        log_.write("input box could not be shown (" + describe_win32_error(GetLastError()) +
                   "); taken as cancelled");
        return Text();
    }
    return *typed;
}

void Win32UserInterface::show_report(TextView text, TextView caption) {
    if (!show_report_window(text, caption)) {
        // Standard output and the run log hold it already.
        log_.write("report window could not be shown (" + describe_win32_error(GetLastError()) +
                   ")");
    }
}

void Win32UserInterface::set_busy_pointer(bool busy) {
    show_busy_pointer(busy);
}

void Win32UserInterface::show_warning_form(const WarningFormDesign& design) {
    if (!run_warning_window(design)) {
        log_.write("warning window could not be shown (" + describe_win32_error(GetLastError()) +
                   ")");
    }
}

std::unique_ptr<OwnerWindow> Win32UserInterface::create_hidden_window() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND hwnd = nullptr;
    if (register_hidden_class(instance)) {
        // A top-level window that is never shown, like an invisible form. It owns the
        // shell's progress and replace question, and a hidden window has no taskbar button,
        // nor does a window it owns: a question that opened behind another program's window
        // (this program may no longer be in front, e.g. after the installer ran) could not
        // be found. Owned windows of a topmost window are topmost too, so the owner is
        // topmost and the question opens above every other window.
        hwnd = CreateWindowExW(WS_EX_TOPMOST, kHiddenWindowClass, L"", WS_POPUP, 0, 0, 0, 0,
                               nullptr, nullptr, instance, nullptr);
    }
    if (hwnd == nullptr) {
        // The shell's dialogs then have no owner; the copies still run.
        log_.write("download window could not be created (" + describe_win32_error(GetLastError()) +
                   ")");
    }
    return std::make_unique<HiddenWindow>(hwnd);
}

} // namespace pelto::platform::win32
