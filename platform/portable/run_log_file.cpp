#include "platform/portable/run_log_file.h"

#include "platform/portable/host_files.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace pelto::platform::portable {

FileRunLog::FileRunLog(std::filesystem::path path) : path_(std::move(path)) {}

FileRunLog::~FileRunLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

LocalTime FileRunLog::local_time() const {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    return LocalTime{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     local.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
}

bool FileRunLog::append(std::string_view record) {
    if (fd_ < 0 && !failed_) {
        std::error_code ec;
        std::filesystem::create_directories(path_.parent_path(), ec);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            failed_ = true;
            std::fprintf(stderr, "PeltoUserInstall_H: cannot write the run log %s: %s\n",
                         path_.c_str(), errno_text(errno).c_str());
        }
    }
    if (fd_ < 0) {
        return false;
    }
    while (!record.empty()) {
        const ssize_t n = ::write(fd_, record.data(), record.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        record.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace pelto::platform::portable
