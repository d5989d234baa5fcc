#include "platform/portable/filesystem_portable.h"

#include "platform/portable/dos_attributes.h"
#include "platform/portable/folder_portable.h"
#include "platform/portable/host_failure.h"
#include "platform/portable/host_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::platform::portable {

namespace fs = std::filesystem;

namespace {

bool is_separator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// "C:\a\b\*.txt" -> folder "C:\a\b\" and name "*.txt"; "C:*.txt" -> "C:\" and "*.txt".
struct PatternParts {
    Text folder;
    Text name;
};

std::optional<PatternParts> split_pattern(TextView pattern) {
    size_t pos = pattern.size();
    while (pos > 0 && !is_separator(pattern[pos - 1])) {
        --pos;
    }
    if (pos == 0) {
        if (pattern.size() >= 2 && pattern[1] == u':') {
            return PatternParts{Text(pattern.substr(0, 2)) + u"\\", Text(pattern.substr(2))};
        }
        return std::nullopt; // relative: there is no current folder
    }
    return PatternParts{Text(pattern.substr(0, pos)), Text(pattern.substr(pos))};
}

struct Match {
    Text name;
    Text windows_path;     // the folder as the pattern names it, and the name
    std::string host;      // the full host path
    std::string host_name; // the name in its folder
    struct stat st {};
    uint32_t attributes = 0;
};

// The entries a pattern names, with the folder held open for operations on them.
struct Listing {
    UniqueFd folder; // invalid for a single name looked up directly
    std::vector<Match> matches;
};

// A folder given by its host path, reached through a link when it is one (a link that
// leads off the machine gives nothing).
std::optional<fs::path> folder_on_host(const MachineRoot& machine, const fs::path& host) {
    struct stat st {};
    if (::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        return machine.follow_links(host);
    }
    return host;
}

void add_dot_entry(std::vector<Match>& out, const char16_t* name, const fs::path& host,
                   TextView pattern) {
    struct stat st {};
    if (dos_name_matches(pattern, name) && ::stat(host.c_str(), &st) == 0) {
        out.push_back(Match{name, {}, host.native(), {}, st, dos::attributes(host.c_str(), st)});
    }
}

// A missing entry or folder is an answer, not a failure.
bool not_found(int error_number) {
    return error_number == ENOENT || error_number == ENOTDIR;
}

// The entries that a DOS pattern names, in the order NTFS lists them. A folder that is
// there but cannot be read is named in the run log.
Listing find_matches(const MachineRoot& machine, RunLog& log, TextView pattern, bool with_dots) {
    Listing out;
    const std::optional<PatternParts> parts = split_pattern(pattern);
    if (!parts) {
        return out;
    }
    const Text name = parts->name.empty() ? Text(u"*") : parts->name;
    if (!has_wildcards(name) && name != u"." && name != u"..") {
        const std::optional<fs::path> host = machine.to_host(parts->folder + name);
        struct stat st {};
        if (!host) {
            return out;
        }
        if (::lstat(host->c_str(), &st) != 0) {
            if (!not_found(errno)) {
                log_errno_failure(log, "lstat", pattern, *host);
            }
            return out;
        }
        out.matches.push_back(Match{from_utf8(host->filename().native()),
                                    parts->folder + name,
                                    host->native(),
                                    {},
                                    st,
                                    dos::attributes(host->c_str(), st)});
        return out;
    }
    const std::optional<fs::path> mapped = machine.to_host(parts->folder);
    const std::optional<fs::path> folder = mapped ? folder_on_host(machine, *mapped) : std::nullopt;
    if (!folder) {
        return out;
    }
    out.folder = UniqueFd(::open(folder->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!out.folder.valid()) {
        if (!not_found(errno)) {
            log_errno_failure(log, "open", parts->folder, *folder);
        }
        return out;
    }
    const std::string prefix = folder->native() + "/";
    for (FolderEntry& e : read_folder(out.folder.get(), name, log, parts->folder, *folder)) {
        Text windows_path = parts->folder + e.name;
        out.matches.push_back(Match{std::move(e.name), std::move(windows_path),
                                    prefix + e.host_name, e.host_name, e.st, e.attributes});
    }
    if (with_dots && !machine.is_volume_root(*folder)) {
        std::vector<Match> dots;
        add_dot_entry(dots, u".", *folder, name);
        add_dot_entry(dots, u"..", folder->parent_path(), name);
        out.matches.insert(out.matches.begin(), dots.begin(), dots.end());
    }
    return out;
}

} // namespace

PortableFileSystem::PortableFileSystem(const MachineRoot& machine, RunLog& log)
    : machine_(machine), log_(log) {}

std::vector<DirEntry> PortableFileSystem::list(TextView pattern, uint32_t attribute_filter) {
    std::vector<DirEntry> out;
    for (Match& m : find_matches(machine_, log_, pattern, true).matches) {
        // Normal, read-only and archived entries always show; hidden, system and
        // folders only when asked for.
        if (dir_filter_passes(m.attributes, attribute_filter)) {
            out.push_back(DirEntry{std::move(m.name), m.attributes});
        }
    }
    return out;
}

std::optional<uint32_t> PortableFileSystem::get_attributes(TextView path) {
    const std::optional<fs::path> host = machine_.to_host(path);
    if (!host) {
        return std::nullopt;
    }
    const std::optional<uint32_t> attributes = dos::attributes(host->c_str());
    if (!attributes && !not_found(errno)) {
        log_errno_failure(log_, "lstat", path, *host);
    }
    return attributes;
}

bool PortableFileSystem::set_attributes(TextView path, uint32_t attributes) {
    const std::optional<fs::path> host = machine_.to_host(path);
    if (!host) {
        return false;
    }
    HostRefusal refusal;
    if (dos::set_attributes(host->c_str(), attributes, refusal)) {
        return true;
    }
    if (refusal.call != nullptr) {
        log_os_failure(log_, errno_failure(refusal.error_number, refusal.call, path, *host));
    }
    return false;
}

bool PortableFileSystem::delete_files(TextView pattern) {
    const Listing listing = find_matches(machine_, log_, pattern, false);
    return kill_each(listing.matches, [&](const Match& m) {
        // Removes a link itself, never its target.
        const int rc = listing.folder.valid()
                           ? ::unlinkat(listing.folder.get(), m.host_name.c_str(), 0)
                           : ::unlink(m.host.c_str());
        if (rc != 0) {
            log_errno_failure(log_, listing.folder.valid() ? "unlinkat" : "unlink", m.windows_path,
                              m.host);
            return false;
        }
        dos::forget(m.st);
        return true;
    });
}

namespace {

// The folder that holds `host` (its links already resolved on the machine by to_host),
// held open.
UniqueFd open_parent(const fs::path& host) {
    return UniqueFd(::open(host.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Gives a private folder's tree its access again: folders 0700 and files 0600 for the
// administrators alone. Links are left as they are and never followed.
void restrict_tree(int folder, RunLog& log, TextView windows_path, const fs::path& host) {
    for (const FolderEntry& e : read_folder(folder, u"*", log, windows_path, host)) {
        if (!S_ISDIR(e.st.st_mode) && !S_ISREG(e.st.st_mode)) {
            continue;
        }
        const UniqueFd entry(::openat(folder, e.host_name.c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        const Text windows_entry = Text(windows_path) + u"\\" + e.name;
        if (!entry.valid() || ::fchmod(entry.get(), S_ISDIR(e.st.st_mode) ? 0700 : 0600) != 0) {
            log_errno_failure(log, entry.valid() ? "fchmod" : "openat", windows_entry,
                              host / e.host_name);
            continue;
        }
        if (S_ISDIR(e.st.st_mode)) {
            restrict_tree(entry.get(), log, windows_entry, host / e.host_name);
        }
    }
}

} // namespace

std::unique_ptr<Folder> PortableFileSystem::open_folder(TextView path) {
    const std::optional<fs::path> host = machine_.to_host(path);
    if (!host) {
        return nullptr;
    }
    UniqueFd fd;
    if (machine_.is_volume_root(*host)) {
        fd = UniqueFd(::open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    } else {
        const UniqueFd parent = open_parent(*host);
        if (parent.valid()) {
            const std::string name = host->filename().native();
            fd = UniqueFd(::openat(parent.get(), name.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
    }
    if (!fd.valid()) {
        // Nothing there, a file, or a link (ELOOP) is an answer.
        if (!not_found(errno) && errno != ELOOP) {
            log_errno_failure(log_, "open", path, *host);
        }
        return nullptr;
    }
    return std::make_unique<PortableFolder>(std::move(fd), Text(path), *host, log_);
}

namespace {

// The run's rule for a folder it made: the run's own user owns it and nobody else may
// write to it, so nobody else can have put anything into it.
bool is_runs_own(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

} // namespace

PrivateFolder PortableFileSystem::make_private_directory(TextView path, PrivateAccess access) {
    const std::optional<fs::path> host = machine_.to_host(path);
    if (!host || machine_.is_volume_root(*host)) {
        return PrivateFolder::Refused;
    }
    const auto refused = [&](const char* call) {
        log_errno_failure(log_, call, path, *host);
        return PrivateFolder::Refused;
    };
    const UniqueFd parent = open_parent(*host);
    if (!parent.valid()) {
        return refused("open");
    }
    const std::string name = host->filename().native();
    const mode_t mode = access == PrivateAccess::AdministratorsOnly ? 0700 : 0755;
    const bool created = ::mkdirat(parent.get(), name.c_str(), mode) == 0;
    if (!created && errno != EEXIST) {
        return refused("mkdirat");
    }
    const UniqueFd folder(
        ::openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid()) {
        // A link or a file of that name is not a folder of the run's.
        if (!created && (errno == ELOOP || errno == ENOTDIR)) {
            return PrivateFolder::Untrusted;
        }
        return refused("openat");
    }
    struct stat st {};
    if (::fstat(folder.get(), &st) != 0) {
        return refused("fstat");
    }
    if (!created && !is_runs_own(st)) {
        return PrivateFolder::Untrusted;
    }
    if (::fchmod(folder.get(), mode) != 0) {
        return refused("fchmod");
    }
    if (!created && access == PrivateAccess::AdministratorsOnly) {
        restrict_tree(folder.get(), log_, path, *host);
    }
    return created ? PrivateFolder::Created : PrivateFolder::Trusted;
}

PrivateFolder PortableFileSystem::private_directory_state(TextView path) {
    const std::optional<fs::path> host = machine_.to_host(path);
    if (!host || machine_.is_volume_root(*host)) {
        return PrivateFolder::Refused;
    }
    struct stat st {};
    if (::lstat(host->c_str(), &st) != 0) {
        if (not_found(errno)) {
            return PrivateFolder::Created;
        }
        log_errno_failure(log_, "lstat", path, *host);
        return PrivateFolder::Refused;
    }
    return is_runs_own(st) ? PrivateFolder::Trusted : PrivateFolder::Untrusted;
}

bool PortableFileSystem::move(TextView from, TextView to) {
    const std::optional<fs::path> source = machine_.to_host(from);
    const std::optional<fs::path> target = machine_.to_host(to);
    if (!source || !target || machine_.is_volume_root(*source)) {
        return false;
    }
    // The entry itself moves (a link as a link), and never onto something that exists.
    if (::renameat2(AT_FDCWD, source->c_str(), AT_FDCWD, target->c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without RENAME_NOREPLACE: look, then rename.
        struct stat st {};
        if (::lstat(target->c_str(), &st) == 0) {
            errno = EEXIST;
        } else if (::rename(source->c_str(), target->c_str()) == 0) {
            return true;
        }
    }
    log_errno_failure(log_, "renameat2", from, *source);
    return false;
}

std::unique_ptr<File> PortableFileSystem::open_file(TextView path, FileMode mode) {
    const std::optional<fs::path> mapped = machine_.to_host(path);
    const std::optional<fs::path> host = mapped ? folder_on_host(machine_, *mapped) : std::nullopt;
    if (!host) {
        return nullptr;
    }
    int flags = O_CLOEXEC | O_NOFOLLOW;
    if (mode == FileMode::Read) {
        flags |= O_RDONLY;
    } else {
        const std::optional<uint32_t> existing = dos::attributes(host->c_str());
        if (existing && (*existing & attr::kReadOnly) != 0) {
            return nullptr; // Windows opens a read-only file for reading only
        }
        flags |= O_RDWR | O_CREAT;
    }
    UniqueFd fd(::open(host->c_str(), flags, 0666));
    if (!fd.valid()) {
        // A file looked for that is not there is an answer; any other refusal is not.
        if (mode != FileMode::Read || !not_found(errno)) {
            log_errno_failure(log_, "open", path, *host);
        }
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        log_errno_failure(log_, "fstat", path, *host);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        return nullptr;
    }
    return make_host_file(std::move(fd));
}

Text PortableFileSystem::program_folder() {
    const char* value = std::getenv("PELTO_PROGRAM_FOLDER");
    Text folder =
        value != nullptr && *value != '\0' ? from_utf8(value) : Text(u"C:\\PeltoUserInstall_H");
    while (folder.size() > 1 && is_separator(folder.back()) && !ends_with(folder, u":\\") &&
           !ends_with(folder, u":/")) {
        folder.pop_back();
    }
    return folder;
}

} // namespace pelto::platform::portable
