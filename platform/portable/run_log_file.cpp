#include "platform/portable/run_log_file.h"

#include "platform/portable/host_files.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace pelto::platform::portable {

namespace {

std::string time_stamp() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char buffer[40];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(buffer + n, sizeof buffer - n, ".%03ld", now.tv_nsec / 1000000);
    return buffer;
}

} // namespace

FileRunLog::FileRunLog(std::filesystem::path path) : path_(std::move(path)) {}

FileRunLog::~FileRunLog() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void FileRunLog::write(std::string_view line) {
    try {
        const std::lock_guard lock(mutex_);
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
            return;
        }
        // One event, one line: line breaks inside the text become spaces.
        std::string text = time_stamp() + " ";
        for (const char c : line) {
            text.push_back(c == '\n' || c == '\r' ? ' ' : c);
        }
        text.push_back('\n');
        std::string_view rest = text;
        while (!rest.empty()) {
            const ssize_t n = ::write(fd_, rest.data(), rest.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            rest.remove_prefix(static_cast<size_t>(n));
        }
    } catch (...) {
        // Out of memory while logging: the line is lost, the run goes on.
    }
}

} // namespace pelto::platform::portable
