// The application-wide mouse pointer: the hourglass while the program is busy, the arrow
// otherwise. The state is the program's; every window of it honours it.
#pragma once

namespace pelto::platform::win32 {

void show_busy_pointer(bool busy);
bool busy_pointer_shown();
// The pointer to show now (for WM_SETCURSOR in the program's windows).
void apply_pointer();

} // namespace pelto::platform::win32
