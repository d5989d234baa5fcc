// The run log's line for a system call of the mapped machine that failed: the call, the
// Windows path the caller gave, errno and its text, and where the path lies below the
// machine root.
#pragma once

#include "platform/os_failure.h"

#include <filesystem>
#include <string>

namespace pelto::platform::portable {

// A system call that refused: its name and errno. `call` stays null when nothing was
// refused by the system (a rule of the machine said no, or all went well).
struct HostRefusal {
    const char* call = nullptr;
    int error_number = 0;
};

OsFailure errno_failure(int error_number, std::string call, TextView windows_path,
                        const std::filesystem::path& host);

// Logs the system call that has just failed: errno still holds its reason.
void log_errno_failure(RunLog& log, const char* call, TextView windows_path,
                       const std::filesystem::path& host);

} // namespace pelto::platform::portable
