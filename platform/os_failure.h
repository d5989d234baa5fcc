// A call to the operating system that failed, as the run log names it: which call, on
// which path or registry key, and why, with the system's own number and text. Support
// staff read "failed" in a step's line; this line beside it says what the system said.
#pragma once

#include "core/text.h"
#include "platform/run_log.h"

#include <optional>
#include <string>

namespace pelto::platform {

// Where the number comes from: errno, or a Win32 status (GetLastError() or the status a
// registry function returns).
enum class OsCodeKind { Errno, Win32 };

struct OsFailure {
    std::string call;               // the system's name for it: "DeleteFileW", "unlink"
    Text subject;                   // the Windows path or registry key as the caller named it
    std::optional<Text> value_name; // a registry value's name (never its data)
    std::string host_path;          // where the subject lies on this host, when that differs
    OsCodeKind kind = OsCodeKind::Errno;
    unsigned long code = 0;
    std::string text; // the system's text for the code
};

// One line, UTF-8:
//   DeleteFileW failed on C:\Pelto_H\bin\Pelto.ini: Access is denied. (code 5)
//   unlink failed on C:\Pelto_H\bin\Pelto.ini [/m/drive_c/Pelto_H/bin/Pelto.ini]:
//       Permission denied (errno 13)
//   RegSetValueExW failed on HKLM\SOFTWARE\X, value "Name": Access is denied. (code 5)
std::string os_failure_line(const OsFailure& failure);

inline void log_os_failure(RunLog& log, const OsFailure& failure) {
    log.write(os_failure_line(failure));
}

} // namespace pelto::platform
