#include "platform/portable/run_lock.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::platform::portable {

namespace {

constexpr const char* kFolder = "log";
constexpr const char* kFile = "PeltoUserInstall_H.lock";
constexpr TextView kFolderShown = u"log";
constexpr TextView kFileShown = u"log\\PeltoUserInstall_H.lock";
// Each look that finds something to set right is followed by another; only runs of the
// same user racing each other make more than two.
constexpr int kAttempts = 8;

bool same_entry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::optional<struct stat> entry_at(int folder, const char* name) {
    struct stat found {};
    if (::fstatat(folder, name, &found, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    return found;
}

bool others_may_write(const struct stat& entry) {
    return (entry.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

std::string mode_text(const struct stat& entry) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(entry.st_mode & 07777));
    return text;
}

// A regular file with one name, of the run's user, that nobody else may write.
bool is_run_own_file(const struct stat& entry) {
    return S_ISREG(entry.st_mode) && entry.st_nlink == 1 && entry.st_uid == ::geteuid() &&
           !others_may_write(entry);
}

// What an entry that is not the run's own is, for the run log.
std::string described(const struct stat& entry) {
    if (S_ISLNK(entry.st_mode)) {
        return "a link";
    }
    if (entry.st_uid != ::geteuid()) {
        return "owned by another user (uid " + std::to_string(entry.st_uid) + ")";
    }
    if (S_ISDIR(entry.st_mode)) {
        return "a folder";
    }
    if (!S_ISREG(entry.st_mode)) {
        return "neither a file nor a folder";
    }
    if (entry.st_nlink > 1) {
        return "a file with " + std::to_string(entry.st_nlink) + " names";
    }
    return "a file others may write (mode " + mode_text(entry) + ")";
}

std::string stamp_now() {
    const LocalTime now = local_time_now();
    char text[24];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return text;
}

// Moves the entry `name` of `folder`, found as `judged`, aside under a name nothing has
// yet ("NAME.<stamp>", then "-2", "-3", ...). Another run may have moved the same entry
// first and made its own in its place: what was moved is then put back. False when the
// entry stays (logged).
bool move_aside(int folder, const std::string& name, const struct stat& judged,
                const std::filesystem::path& host, TextView shown, RunLog& log) {
    const std::string base = name + "." + stamp_now();
    for (int n = 1; n <= 100; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        if (entry_at(folder, aside.c_str())) {
            continue;
        }
        if (::renameat(folder, name.c_str(), folder, aside.c_str()) != 0) {
            if (errno == ENOENT) {
                return true; // moved by another run already
            }
            log_errno_failure(log, "renameat", shown, host);
            return false;
        }
        const std::optional<struct stat> moved = entry_at(folder, aside.c_str());
        if (moved && !same_entry(*moved, judged)) {
            (void)::renameat2(folder, aside.c_str(), folder, name.c_str(), RENAME_NOREPLACE);
            return true;
        }
        log.write("the one-run lock's " + std::string(name == kFolder ? "folder " : "file ") +
                  to_utf8(shown) + " below the machine root is not the run's own (" +
                  described(judged) + "): moved aside, never used, to " + aside);
        return true;
    }
    log.write("no free name to move " + to_utf8(shown) + " aside");
    return false;
}

// The folder `log` below the machine root, open, as the lock needs it: a folder of the
// run's user that nobody else may change. Invalid when it cannot be had (logged).
UniqueFd lock_folder(int root, const std::filesystem::path& host, RunLog& log) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UniqueFd folder(::openat(root, kFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const int open_error = folder.valid() ? 0 : errno;
        if (open_error == ENOENT) {
            if (::mkdirat(root, kFolder, 0755) != 0 && errno != EEXIST) {
                log_errno_failure(log, "mkdirat", kFolderShown, host);
                return {};
            }
            continue;
        }
        struct stat found {};
        if (!folder.valid()) {
            // A link (ELOOP) or something that is no folder (ENOTDIR) at its name.
            const std::optional<struct stat> entry = entry_at(root, kFolder);
            if ((open_error != ELOOP && open_error != ENOTDIR) || !entry) {
                errno = open_error;
                log_errno_failure(log, "openat", kFolderShown, host);
                return {};
            }
            found = *entry;
        } else if (::fstat(folder.get(), &found) != 0) {
            log_errno_failure(log, "fstat", kFolderShown, host);
            return {};
        }
        if (!folder.valid() || found.st_uid != ::geteuid()) {
            folder = UniqueFd();
            if (!move_aside(root, kFolder, found, host, kFolderShown, log)) {
                return {};
            }
            continue;
        }
        if (others_may_write(found)) {
            // The run's user's own folder: its owner may narrow its rights.
            if (::fchmod(folder.get(), found.st_mode & 07777 & ~(S_IWGRP | S_IWOTH)) != 0) {
                log_errno_failure(log, "fchmod", kFolderShown, host);
                return {};
            }
            log.write("the one-run lock's folder log below the machine root could be changed "
                      "by group or others (mode " +
                      mode_text(found) + "): now only by its owner");
        }
        return folder;
    }
    log.write("the one-run lock's folder log below the machine root keeps changing");
    return {};
}

// The lock file in the open `folder`, open, the run's own. Invalid when it cannot be had
// (logged).
UniqueFd lock_file(int folder, const std::filesystem::path& host, RunLog& log) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // Looked at before it is opened, so that no pipe or device is ever opened.
        if (const std::optional<struct stat> found = entry_at(folder, kFile);
            found && !is_run_own_file(*found)) {
            if (!move_aside(folder, kFile, *found, host, kFileShown, log)) {
                return {};
            }
            continue;
        }
        UniqueFd file(
            ::openat(folder, kFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        if (!file.valid()) {
            if (errno == ELOOP || errno == EISDIR || errno == ENXIO) {
                continue; // changed since it was looked at: look again
            }
            log_errno_failure(log, "openat", kFileShown, host);
            return {};
        }
        struct stat opened {};
        if (::fstat(file.get(), &opened) != 0) {
            log_errno_failure(log, "fstat", kFileShown, host);
            return {};
        }
        if (is_run_own_file(opened)) {
            return file;
        }
        file = UniqueFd();
        if (!move_aside(folder, kFile, opened, host, kFileShown, log)) {
            return {};
        }
    }
    log.write("the one-run lock file log/PeltoUserInstall_H.lock below the machine root keeps "
              "changing");
    return {};
}

// Whether the locked file is still where every run looks for it: another run may have
// moved it aside while this one opened it.
bool still_in_place(int root, int folder, int file) {
    struct stat folder_now {};
    struct stat file_now {};
    const std::optional<struct stat> folder_entry = entry_at(root, kFolder);
    const std::optional<struct stat> file_entry = entry_at(folder, kFile);
    return ::fstat(folder, &folder_now) == 0 && ::fstat(file, &file_now) == 0 && folder_entry &&
           file_entry && same_entry(*folder_entry, folder_now) && same_entry(*file_entry, file_now);
}

} // namespace

RunLock lock_single_run(const std::filesystem::path& machine_root, RunLog& log) {
    const std::filesystem::path folder_host = machine_root / kFolder;
    const std::filesystem::path file_host = folder_host / kFile;
    const UniqueFd root(::open(machine_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) {
        log_errno_failure(log, "open", u"the machine root", machine_root);
        return {};
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const UniqueFd folder = lock_folder(root.get(), folder_host, log);
        if (!folder.valid()) {
            return {};
        }
        UniqueFd file = lock_file(folder.get(), file_host, log);
        if (!file.valid()) {
            return {};
        }
        int rc = 0;
        do {
            rc = ::flock(file.get(), LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0 && errno == EWOULDBLOCK) {
            return RunLock{RunLock::State::HeldByOther, std::move(file)};
        }
        if (rc != 0) {
            log_errno_failure(log, "flock", kFileShown, file_host);
            return {};
        }
        if (still_in_place(root.get(), folder.get(), file.get())) {
            return RunLock{RunLock::State::Held, std::move(file)};
        }
    }
    log.write("the one-run lock file log/PeltoUserInstall_H.lock below the machine root keeps "
              "being moved");
    return {};
}

} // namespace pelto::platform::portable
