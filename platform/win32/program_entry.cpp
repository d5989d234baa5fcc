// The program's entry point, in place of the C runtime's: its first instruction limits
// where libraries are loaded from, before the runtime starts and before any static
// initializer of any library runs (their order is not defined, and any of them could load
// a library). The program is linked with -e pelto_program_entry (installer/sequence.cmake).
#include "platform/win32/security/dll_search.h"

// mingw-w64's start-up code of a Windows (not console) program: it starts the C runtime,
// runs the static initializers and calls main.
extern "C" int WinMainCRTStartup(void);

// Windows enters a 32-bit program on a stack aligned to 4 bytes only; the code compiled
// after it expects 16.
extern "C" __attribute__((force_align_arg_pointer)) int pelto_program_entry(void) {
    if (!pelto::platform::win32::limit_library_search_to_system32()) {
        pelto::platform::win32::stop_for_want_of_library_search();
    }
    return WinMainCRTStartup();
}
