// The run log's line for a Win32 call that failed: the call, the path or key the caller
// gave, the system's code and its text.
#pragma once

#include "platform/os_failure.h"

#include <string>

namespace pelto::platform::win32 {

OsFailure win32_failure(unsigned long code, std::string call, TextView subject);

// Logs the call that has just failed: GetLastError() still holds its reason.
void log_last_error(RunLog& log, const char* call, TextView subject);

// A missing file or folder (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND): what a look for
// something answers, not a failure.
bool is_not_found(unsigned long code);

} // namespace pelto::platform::win32
