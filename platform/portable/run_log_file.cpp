#include "platform/portable/run_log_file.h"

#include "platform/portable/host_files.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::platform::portable {

FileRunLog::FileRunLog(std::filesystem::path path) : path_(std::move(path)) {}

FileRunLog::~FileRunLog() = default;

std::optional<std::string> FileRunLog::open_file() {
    std::error_code ec;
    std::filesystem::create_directories(path_.parent_path(), ec);
    // Not blocking: a pipe put in its place would otherwise hold the run until someone
    // reads it.
    UniqueFd fd(::open(path_.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
    if (!fd.valid()) {
        if (errno == ELOOP) {
            return run_log_refusal(OpenedLogFile{.is_link = true});
        }
        return errno_text(errno);
    }
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) {
        return errno_text(errno);
    }
    if (std::optional<std::string> refusal =
            run_log_refusal(OpenedLogFile{.is_link = false,
                                          .is_regular = S_ISREG(opened.st_mode),
                                          .names = static_cast<uint64_t>(opened.st_nlink)})) {
        return refusal;
    }
    fd_ = std::move(fd);
    return std::nullopt;
}

bool FileRunLog::append(std::string_view record) {
    return fd_.valid() && write_all(fd_.get(), record);
}

void FileRunLog::lost(const std::string& reason) {
    std::fprintf(stderr, "PeltoUserInstall_H: cannot write the run log %s: %s\n", path_.c_str(),
                 reason.c_str());
}

} // namespace pelto::platform::portable
