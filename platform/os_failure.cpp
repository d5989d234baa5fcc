#include "platform/os_failure.h"

namespace pelto::platform {

std::string os_failure_line(const OsFailure& failure) {
    std::string line = failure.call + " failed on " + to_utf8(failure.subject);
    if (failure.value_name) {
        line += ", value \"" + to_utf8(*failure.value_name) + "\"";
    }
    if (!failure.host_path.empty()) {
        line += " [" + failure.host_path + "]";
    }
    line += ": ";
    if (!failure.text.empty()) {
        line += failure.text + " ";
    }
    line += (failure.kind == OsCodeKind::Errno ? "(errno " : "(code ") +
            std::to_string(failure.code) + ")";
    return line;
}

} // namespace pelto::platform
