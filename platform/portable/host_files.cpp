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

bool replace_file_atomically(const fs::path& target, std::string_view bytes,
                             const struct stat* original, HostRefusal& refusal) {
    const fs::path folder = target.parent_path();
    std::string pattern = (folder / ("." + target.filename().native() + ".XXXXXX")).native();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    UniqueFd fd(::mkstemp(name.data()));
    if (!fd.valid()) {
        refusal = HostRefusal{"mkstemp", errno};
        return false;
    }
    const std::string temp(name.data());
    const auto fail = [&](const char* call) {
        refusal = HostRefusal{call, errno};
        ::unlink(temp.c_str());
        return false;
    };
    if (!write_all(fd.get(), bytes)) {
        return fail("write");
    }
    if (original != nullptr) {
        // Best effort: an unprivileged process cannot give a file away.
        if (::fchown(fd.get(), original->st_uid, original->st_gid) != 0) {
            errno = 0;
        }
        copy_dos_attributes(target, fd.get());
    }
    const mode_t mode =
        original != nullptr ? (original->st_mode & 07777) : (0666 & ~process_umask());
    if (::fchmod(fd.get(), mode) != 0) {
        return fail("fchmod");
    }
    if (::fsync(fd.get()) != 0) {
        return fail("fsync");
    }
    if (!fd.close()) {
        return fail("close");
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        return fail("rename");
    }
    // The rename itself reaches the disk with the folder's own flush.
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
    return true;
}

} // namespace pelto::platform::portable
