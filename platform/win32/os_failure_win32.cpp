#include "platform/win32/os_failure_win32.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

OsFailure win32_failure(unsigned long code, std::string call, TextView subject) {
    OsFailure failure;
    failure.call = std::move(call);
    failure.subject = Text(subject);
    failure.kind = OsCodeKind::Win32;
    failure.code = code;
    failure.text = win32_error_text(code);
    return failure;
}

void log_last_error(RunLog& log, const char* call, TextView subject) {
    const DWORD code = GetLastError(); // before anything else can change it
    log_os_failure(log, win32_failure(code, call, subject));
}

bool is_not_found(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

} // namespace pelto::platform::win32
