// Small pieces of POSIX file handling shared by the portable services: an owned file
// descriptor, the one write loop, reading a whole file, and replacing a file atomically.
#pragma once

#include "platform/portable/host_failure.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace pelto::platform::portable {

// An open file descriptor, closed by the destructor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now, so that a failing close (a full disk on some file systems) is seen;
    // errno tells why.
    bool close();

private:
    int fd_ = -1;
};

// Writes all of `bytes`, going on after a signal or a short write; false with errno set
// when the system refuses.
bool write_all(int fd, std::string_view bytes);

// The text of errno's current value ("No such file or directory").
std::string errno_text(int error_number);

// The whole content of a file; nullopt when it cannot be read, with the refusing call and
// its errno in `refusal` (ENOENT for a missing file).
std::optional<std::string> read_whole_file(const std::filesystem::path& path, HostRefusal& refusal);

// The process's file-creation mask (read without changing it).
mode_t process_umask();

// A file written under a temporary name in its target's folder and then renamed over the
// target in one step, so that a reader (or a crash) sees the old file or the whole new
// one, never a part: the one way the mapped machine replaces a file. Everything is done
// relative to the folder, held open. The temporary file goes with the object unless it
// was committed.
class AtomicFile {
public:
    // Beside `target` (a host path); the folder is opened here.
    explicit AtomicFile(const std::filesystem::path& target);
    // Beside the entry `name` of the open folder `folder`, which must outlive the object.
    AtomicFile(int folder, std::string name);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False, with the refusing call in `refusal`, when the temporary file cannot be made.
    bool open(HostRefusal& refusal);
    // The temporary file, for its mode, owner, attributes and times.
    int fd() const { return file_.get(); }
    // Its name in the folder, for the run log.
    const std::string& temporary_name() const { return temporary_; }
    bool write(std::string_view bytes, HostRefusal& refusal);
    // Flushes the file, renames it over the target and flushes the folder.
    bool commit(HostRefusal& refusal);

private:
    UniqueFd owned_folder_;
    int folder_ = -1;
    std::string name_;
    std::string temporary_;
    UniqueFd file_;
    bool committed_ = false;
};

// Replaces `target` with `bytes`: a temporary file in the same folder, flushed to disk,
// then renamed over the target, so that a reader (or a crash) sees the old content or
// the new one, never a part. `original` is the target's lstat when it exists: its
// permission bits, owner and DOS attributes carry over; a new file gets 0666 less the
// umask. False on failure, with the refusing call and its errno in `refusal`; the target
// is then untouched.
bool replace_file_atomically(const std::filesystem::path& target, std::string_view bytes,
                             const struct stat* original, HostRefusal& refusal);

} // namespace pelto::platform::portable
