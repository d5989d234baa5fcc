#include "platform/run_log.h"

#include <cstdio>

namespace pelto::platform {

std::string run_log_record(const LocalTime& now, std::string_view line, std::string_view line_end) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", now.year, now.month,
                  now.day, now.hour, now.minute, now.second, now.millisecond);
    std::string record = stamp;
    record.reserve(record.size() + line.size() + line_end.size());
    for (const char c : line) {
        record.push_back(c == '\r' || c == '\n' ? ' ' : c);
    }
    record.append(line_end);
    return record;
}

void FileRunLogBase::write(std::string_view line) {
    try {
        const std::lock_guard lock(mutex_);
        (void)append(run_log_record(local_time(), line, line_end()));
    } catch (...) {
        // Out of memory while logging: the line is lost, the run goes on.
    }
}

} // namespace pelto::platform
