// The program's own window classes. A class is registered once per process and stays
// until the process ends: the next window of the same kind (a second warning, another
// hidden owner) finds it and uses it as it is.
#pragma once

#include <windows.h>

namespace pelto::platform::win32 {

// Registers `window_class` (its hInstance and lpszClassName name it) unless the process
// has that class already. False, with the reason in GetLastError(), when it has not and
// cannot get it.
bool register_window_class(const WNDCLASSEXW& window_class);

} // namespace pelto::platform::win32
