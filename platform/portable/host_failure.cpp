#include "platform/portable/host_failure.h"

#include "platform/portable/host_files.h"

#include <cerrno>

namespace pelto::platform::portable {

OsFailure errno_failure(int error_number, std::string call, TextView windows_path,
                        const std::filesystem::path& host) {
    OsFailure failure;
    failure.call = std::move(call);
    failure.subject = Text(windows_path);
    failure.host_path = host.native();
    failure.kind = OsCodeKind::Errno;
    failure.code = static_cast<unsigned long>(error_number);
    failure.text = errno_text(error_number);
    return failure;
}

void log_errno_failure(RunLog& log, const char* call, TextView windows_path,
                       const std::filesystem::path& host) {
    const int error_number = errno; // before anything else can change it
    log_os_failure(log, errno_failure(error_number, call, windows_path, host));
}

} // namespace pelto::platform::portable
