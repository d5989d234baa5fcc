#include "platform/win32/machine_win32.h"

#include "platform/win32/security/dll_search.h"

// commctrl.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

namespace pelto::platform::win32 {

Win32Machine::Win32Machine(const std::wstring& log_path, std::optional<OdbcServerMap> server_map)
    : log_(log_path), drives_(log_), registry_(log_), profiles_(log_), files_(log_, &drives_),
      shell_(drives_), processes_(log_, claim_), ui_(log_), odbc_(log_, std::move(server_map)),
      session_(log_, claim_), platform_{.registry = registry_,
                                        .profiles = profiles_,
                                        .files = files_,
                                        .shell = shell_,
                                        .processes = processes_,
                                        .ui = ui_,
                                        .odbc = odbc_,
                                        .log = log_,
                                        .session = session_} {
    report_failed_libraries_to(&log_);
    // Common Controls 6 (named by the manifest) for the dialogs' controls.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

Win32Machine::~Win32Machine() {
    report_failed_libraries_to(nullptr);
}

} // namespace pelto::platform::win32
