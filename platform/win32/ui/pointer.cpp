#include "platform/win32/ui/pointer.h"

#include <atomic>
#include <windows.h>

namespace pelto::platform::win32 {

namespace {

std::atomic<bool> g_busy{false};

} // namespace

void show_busy_pointer(bool busy) {
    g_busy = busy;
    apply_pointer();
}

bool busy_pointer_shown() {
    return g_busy;
}

void apply_pointer() {
    SetCursor(LoadCursorW(nullptr, g_busy ? IDC_WAIT : IDC_ARROW));
}

} // namespace pelto::platform::win32
