#include "platform/portable/run_log_file.h"

#include "platform/portable/host_files.h"
#include "platform/windows_path.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::platform::portable {

namespace {

// The name in the open folder `folder` that Windows would open for `name`: itself when it is
// there, else an entry spelled alike but for case; `name` when none is.
std::string spelled(int folder, const std::string& name) {
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        return name;
    }
    DIR* dir = ::fdopendir(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (dir == nullptr) {
        return name;
    }
    ::rewinddir(dir);
    std::string found = name;
    const Text wanted = from_utf8(name);
    while (const dirent* entry = ::readdir(dir)) {
        if (equals_ignore_case(from_utf8(entry->d_name), wanted)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The folder `name` of `parent`, made when missing, never through a link; an invalid
// descriptor with the reason in `why` otherwise.
UniqueFd open_folder(int parent, const std::string& name, std::string& why) {
    const std::string entry = spelled(parent, name);
    UniqueFd fd(::openat(parent, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT && ::mkdirat(parent, entry.c_str(), 0755) == 0) {
        fd = UniqueFd(
            ::openat(parent, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (!fd.valid()) {
        why = errno == ELOOP || errno == ENOTDIR ? "the folder " + entry + " is a link or a file"
                                                 : entry + ": " + errno_text(errno);
    }
    return fd;
}

} // namespace

FileRunLog::FileRunLog(std::filesystem::path base, std::vector<std::string> folders,
                       std::string name, std::string shown)
    : base_(std::move(base)), folders_(std::move(folders)), name_(std::move(name)),
      shown_(std::move(shown)) {}

std::unique_ptr<FileRunLog> FileRunLog::of_machine(const MachineRoot& machine) {
    return std::make_unique<FileRunLog>(machine.root(), std::vector<std::string>{"log"},
                                        "PeltoUserInstall_H.log", machine.log_file().native());
}

std::unique_ptr<FileRunLog> FileRunLog::at(const MachineRoot& machine, TextView windows_path) {
    const std::optional<WindowsPath> path = parse_windows_path(windows_path);
    if (!path || path->names.empty()) {
        return nullptr;
    }
    std::vector<std::string> folders;
    for (const Text& folder : volume_folders(path->volume)) {
        folders.push_back(to_utf8(folder));
    }
    for (size_t i = 0; i + 1 < path->names.size(); ++i) {
        folders.push_back(to_utf8(path->names[i]));
    }
    return std::make_unique<FileRunLog>(machine.root(), std::move(folders),
                                        to_utf8(path->names.back()), to_utf8(windows_path));
}

FileRunLog::~FileRunLog() = default;

std::optional<std::string> FileRunLog::open_file() {
    UniqueFd folder(::open(base_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return errno_text(errno);
    }
    for (const std::string& name : folders_) {
        std::string why;
        UniqueFd next = open_folder(folder.get(), name, why);
        if (!next.valid()) {
            return why;
        }
        folder = std::move(next);
    }
    // Not blocking: a pipe put in its place would otherwise hold the run until someone
    // reads it.
    const std::string file = spelled(folder.get(), name_);
    UniqueFd fd(::openat(folder.get(), file.c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                         0644));
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
    std::fprintf(stderr, "PeltoUserInstall_H: cannot write the run log %s: %s\n", shown_.c_str(),
                 reason.c_str());
}

} // namespace pelto::platform::portable
