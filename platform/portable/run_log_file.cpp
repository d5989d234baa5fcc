#include "platform/portable/run_log_file.h"

#include "platform/portable/host_files.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace pelto::platform::portable {

FileRunLog::FileRunLog(std::filesystem::path path) : path_(std::move(path)) {}

FileRunLog::~FileRunLog() = default;

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
    if (!fd_.valid() && !failed_) {
        std::error_code ec;
        std::filesystem::create_directories(path_.parent_path(), ec);
        fd_ = UniqueFd(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (!fd_.valid()) {
            failed_ = true;
            std::fprintf(stderr, "PeltoUserInstall_H: cannot write the run log %s: %s\n",
                         path_.c_str(), errno_text(errno).c_str());
        }
    }
    return fd_.valid() && write_all(fd_.get(), record);
}

} // namespace pelto::platform::portable
