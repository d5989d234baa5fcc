#include "platform/portable/host_files.h"

#include "platform/portable/dos_attributes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace pelto::platform::portable {

namespace fs = std::filesystem;

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool UniqueFd::close() {
    return ::close(release()) == 0;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

std::string errno_text(int error_number) {
    char buffer[256];
    // The GNU strerror_r returns the text, which need not live in `buffer`.
    return ::strerror_r(error_number, buffer, sizeof buffer);
}

std::optional<std::string> read_whole_file(const fs::path& path, HostRefusal& refusal) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        refusal = HostRefusal{"open", errno};
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            refusal = HostRefusal{"read", errno};
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
    refusal = HostRefusal{};
    return out;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

mode_t process_umask() {
    // /proc tells the mask without the set-and-restore race of umask(2).
    HostRefusal ignored;
    const std::optional<std::string> status = read_whole_file("/proc/self/status", ignored);
    if (status) {
        const size_t at = status->find("\nUmask:");
        if (at != std::string::npos) {
            return static_cast<mode_t>(std::strtoul(status->c_str() + at + 7, nullptr, 8));
        }
    }
    return 022;
}

namespace {

void copy_dos_attributes(const fs::path& from, int to_fd) {
    char value[256];
    const ssize_t n = ::lgetxattr(from.c_str(), dos::kXattrName, value, sizeof value);
    if (n > 0) {
        ::fsetxattr(to_fd, dos::kXattrName, value, static_cast<size_t>(n), 0);
    }
}

} // namespace

AtomicFile::AtomicFile(const fs::path& target)
    : owned_folder_(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
      folder_(owned_folder_.get()), name_(target.filename().native()) {}

AtomicFile::AtomicFile(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}

AtomicFile::~AtomicFile() {
    if (!committed_ && !temporary_.empty() && folder_ >= 0) {
        ::unlinkat(folder_, temporary_.c_str(), 0);
    }
}

bool AtomicFile::open(HostRefusal& refusal) {
    if (folder_ < 0) {
        refusal = HostRefusal{"open", errno};
        return false;
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary_ =
            "." + name_ + ".pelto-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        file_ = UniqueFd(::openat(folder_, temporary_.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file_.valid()) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    refusal = HostRefusal{"openat", errno};
    temporary_.clear();
    return false;
}

bool AtomicFile::write(std::string_view bytes, HostRefusal& refusal) {
    if (!write_all(file_.get(), bytes)) {
        refusal = HostRefusal{"write", errno};
        return false;
    }
    return true;
}

bool AtomicFile::commit(HostRefusal& refusal) {
    if (::fsync(file_.get()) != 0) {
        refusal = HostRefusal{"fsync", errno};
        return false;
    }
    if (!file_.close()) {
        refusal = HostRefusal{"close", errno};
        return false;
    }
    if (::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) {
        refusal = HostRefusal{"renameat", errno};
        return false;
    }
    committed_ = true;
    // The rename itself reaches the disk with the folder's own flush.
    ::fsync(folder_);
    return true;
}

bool replace_file_atomically(const fs::path& target, std::string_view bytes,
                             const struct stat* original, HostRefusal& refusal) {
    AtomicFile file(target);
    if (!file.open(refusal) || !file.write(bytes, refusal)) {
        return false;
    }
    if (original != nullptr) {
        // Best effort: an unprivileged process cannot give a file away.
        if (::fchown(file.fd(), original->st_uid, original->st_gid) != 0) {
            errno = 0;
        }
        copy_dos_attributes(target, file.fd());
    }
    const mode_t mode =
        original != nullptr ? (original->st_mode & 07777) : (0666 & ~process_umask());
    if (::fchmod(file.fd(), mode) != 0) {
        refusal = HostRefusal{"fchmod", errno};
        return false;
    }
    return file.commit(refusal);
}

} // namespace pelto::platform::portable
