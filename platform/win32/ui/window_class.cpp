#include "platform/win32/ui/window_class.h"

namespace pelto::platform::win32 {

bool register_window_class(const WNDCLASSEXW& window_class) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(window_class.hInstance, window_class.lpszClassName, &existing)) {
        return true;
    }
    // Another thread may register it between the look and the registration.
    return RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace pelto::platform::win32
