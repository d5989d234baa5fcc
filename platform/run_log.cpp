#include "platform/run_log.h"

#include <cstdio>
#include <string>

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

std::optional<std::string> run_log_refusal(const OpenedLogFile& file) {
    if (file.is_link) {
        return std::string("it is a link, and the run log is only ever written to a file itself");
    }
    if (!file.is_regular) {
        return std::string("it is not an ordinary file");
    }
    if (file.names > 1) {
        return "the file has " + std::to_string(file.names) +
               " names (hard links), and the run log is only ever written to a file with one";
    }
    return std::nullopt;
}

std::optional<std::string> FileRunLogBase::open_locked() {
    if (state_ == State::Closed) {
        std::optional<std::string> refusal = open_file();
        state_ = refusal ? State::Failed : State::Open;
        failure_ = refusal.value_or(std::string());
        if (refusal) {
            return refusal;
        }
    }
    if (state_ == State::Failed) {
        return failure_;
    }
    return std::nullopt;
}

std::optional<std::string> FileRunLogBase::open() {
    try {
        const std::lock_guard lock(mutex_);
        return open_locked();
    } catch (...) {
        return std::string("out of memory");
    }
}

void FileRunLogBase::write(std::string_view line) {
    try {
        const std::lock_guard lock(mutex_);
        const bool first = state_ == State::Closed;
        if (const std::optional<std::string> refusal = open_locked()) {
            if (first) {
                lost(*refusal);
            }
            return;
        }
        (void)append(run_log_record(local_time_now(), line, line_end()));
    } catch (...) {
        // Out of memory while logging: the line is lost, the run goes on.
    }
}

} // namespace pelto::platform
