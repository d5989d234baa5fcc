#include "platform/portable/dos_attributes.h"

#include "platform/filesystem.h"
#include "platform/portable/host_files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace pelto::platform::portable::dos {

namespace {

// Attributes of entries on file systems without user extended attributes.
class MemoryStore {
public:
    std::optional<uint32_t> get(const struct stat& st) {
        const std::lock_guard lock(mutex_);
        const auto it = values_.find(key(st));
        if (it == values_.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    void set(const struct stat& st, std::optional<uint32_t> value) {
        const std::lock_guard lock(mutex_);
        if (value) {
            values_[key(st)] = *value;
        } else {
            values_.erase(key(st));
        }
    }

private:
    static std::pair<dev_t, ino_t> key(const struct stat& st) { return {st.st_dev, st.st_ino}; }
    std::mutex mutex_;
    std::map<std::pair<dev_t, ino_t>, uint32_t> values_;
};

MemoryStore& memory() {
    static MemoryStore store;
    return store;
}

bool unsupported(int error_number) {
    return error_number == ENOTSUP || error_number == EOPNOTSUPP;
}

std::optional<uint32_t> stored_attributes(const char* path, const struct stat& st) {
    char value[256];
    const ssize_t n = ::lgetxattr(path, kXattrName, value, sizeof value);
    if (n >= 0) {
        return parse_xattr(std::string_view(value, static_cast<size_t>(n)));
    }
    if (unsupported(errno)) {
        return memory().get(st);
    }
    return std::nullopt;
}

std::optional<uint32_t> stored_attributes(int fd, const struct stat& st) {
    char value[256];
    const ssize_t n = ::fgetxattr(fd, kXattrName, value, sizeof value);
    if (n >= 0) {
        return parse_xattr(std::string_view(value, static_cast<size_t>(n)));
    }
    if (unsupported(errno)) {
        return memory().get(st);
    }
    return std::nullopt;
}

// What an entry that is not a link shows, from its lstat and what its xattr holds.
uint32_t attributes_of(const struct stat& st, std::optional<uint32_t> stored) {
    const bool folder = S_ISDIR(st.st_mode);
    // Samba also stores read-only and archive; read-only is honoured, and every file
    // counts as archived, as under Wine.
    uint32_t bits = stored.value_or(0) & (attr::kHidden | attr::kSystem | attr::kReadOnly);
    if (folder) {
        bits |= attr::kDirectory;
    } else {
        bits |= attr::kArchive;
        if ((st.st_mode & 0222) == 0) {
            bits |= attr::kReadOnly;
        }
    }
    return bits;
}

// The attribute store of one entry, reached by its path (l*xattr) or by an open
// descriptor (f*xattr); the descriptor never follows a link that replaced the entry.
struct Store {
    const char* path = nullptr;
    int fd = -1;

    std::optional<uint32_t> get(const struct stat& st) const {
        return fd >= 0 ? stored_attributes(fd, st) : stored_attributes(path, st);
    }
    int set(const char* text, size_t size) const {
        return fd >= 0 ? ::fsetxattr(fd, kXattrName, text, size, 0)
                       : ::lsetxattr(path, kXattrName, text, size, 0);
    }
    int remove() const {
        return fd >= 0 ? ::fremovexattr(fd, kXattrName) : ::lremovexattr(path, kXattrName);
    }
    int chmod(mode_t mode) const { return fd >= 0 ? ::fchmod(fd, mode) : ::chmod(path, mode); }
};

// What the xattr holds: hidden and system, as Wine keeps them, and for a folder its
// read-only mark too (a file's read-only mark is its permission bits).
uint32_t stored_mask(bool folder) {
    return attr::kHidden | attr::kSystem | (folder ? attr::kReadOnly : 0);
}

// SetAttr on an entry that is not a link: the read-only mark of a file in its mode, the
// rest in the store.
bool store_attributes(const Store& store, const struct stat& st, uint32_t attributes,
                      HostRefusal& refusal) {
    const auto refused = [&](const char* call) {
        refusal = HostRefusal{call, errno};
        return false;
    };
    const bool fd = store.fd >= 0;
    const bool folder = S_ISDIR(st.st_mode);
    const bool read_only = (attributes & attr::kReadOnly) != 0;
    if (!folder) {
        const mode_t mode = st.st_mode & 07777;
        if (read_only && (mode & 0222) != 0) {
            if (store.chmod(mode & ~0222) != 0) {
                return refused(fd ? "fchmod" : "chmod");
            }
        } else if (!read_only && (mode & 0222) == 0) {
            if (store.chmod(mode | 0200) != 0) {
                return refused(fd ? "fchmod" : "chmod");
            }
        }
    }
    const uint32_t wanted = attributes & stored_mask(folder);
    const std::optional<uint32_t> stored = store.get(st);
    // Nothing to store and nothing stored (the common case when a tree is cleared):
    // no write at all.
    if (!stored && wanted == 0) {
        return true;
    }
    if (stored && *stored == wanted) {
        return true;
    }
    if (wanted == 0) {
        if (store.remove() != 0) {
            if (unsupported(errno)) {
                memory().set(st, std::nullopt);
            } else if (errno != ENODATA) {
                return refused(fd ? "fremovexattr" : "lremovexattr");
            }
        }
        return true;
    }
    char text[16];
    const int n = std::snprintf(text, sizeof text, "0x%x", wanted);
    if (store.set(text, static_cast<size_t>(n)) != 0) {
        if (!unsupported(errno)) {
            return refused(fd ? "fsetxattr" : "lsetxattr");
        }
        memory().set(st, wanted);
    }
    return true;
}

} // namespace

std::optional<uint32_t> parse_xattr(std::string_view value) {
    // Wine: "0x22". Samba: the same text with a terminating NUL, followed by a binary
    // record whose attribute word repeats it; the text is enough.
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) {
        return std::nullopt;
    }
    uint32_t bits = 0;
    size_t digits = 0;
    for (size_t i = 2; i < value.size() && digits < 8; ++i, ++digits) {
        const char c = value[i];
        uint32_t d = 0;
        if (c >= '0' && c <= '9') {
            d = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            d = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            break;
        }
        bits = bits << 4 | d;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return bits;
}

uint32_t attributes(const char* path, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        const bool folder = ::stat(path, &target) == 0 && S_ISDIR(target.st_mode);
        return attr::kReparsePoint | (folder ? attr::kDirectory : attr::kArchive);
    }
    return attributes_of(st, stored_attributes(path, st));
}

uint32_t attributes_of_open(int fd, const struct stat& st) {
    return attributes_of(st, stored_attributes(fd, st));
}

uint32_t attributes_at(int folder, const char* name, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        const bool to_folder = ::fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        return attr::kReparsePoint | (to_folder ? attr::kDirectory : attr::kArchive);
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return attributes_of(st, std::nullopt); // a device or pipe is never opened
    }
    const UniqueFd entry(
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat now {};
    if (!entry.valid() || ::fstat(entry.get(), &now) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev) {
        return attributes_of(st, memory().get(st)); // gone or replaced meanwhile
    }
    return attributes_of_open(entry.get(), st);
}

std::optional<uint32_t> attributes(const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0) {
        return std::nullopt;
    }
    return attributes(path, st);
}

bool set_attributes(const char* path, uint32_t attributes, HostRefusal& refusal) {
    struct stat st {};
    if (::lstat(path, &st) != 0) {
        refusal = HostRefusal{"lstat", errno};
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        return false;
    }
    return store_attributes(Store{path, -1}, st, attributes, refusal);
}

bool set_attributes_of_open(int fd, uint32_t attributes, HostRefusal& refusal) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        refusal = HostRefusal{"fstat", errno};
        return false;
    }
    return store_attributes(Store{nullptr, fd}, st, attributes, refusal);
}

void forget(const struct stat& st) {
    memory().set(st, std::nullopt);
}

} // namespace pelto::platform::portable::dos
