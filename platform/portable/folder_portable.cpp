#include "platform/portable/folder_portable.h"

#include "platform/portable/dos_attributes.h"
#include "platform/portable/filesystem_portable.h"
#include "platform/portable/host_failure.h"
#include "platform/windows_path.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace pelto::platform::portable {

namespace fs = std::filesystem;

namespace {

class HostFile final : public File {
public:
    explicit HostFile(UniqueFd fd) : fd_(std::move(fd)) {}

    std::optional<uint64_t> size() override {
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0) {
            return std::nullopt;
        }
        return static_cast<uint64_t>(st.st_size);
    }

    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        for (;;) {
            const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
            if (n >= 0) {
                return static_cast<size_t>(n);
            }
            if (errno != EINTR) {
                return std::nullopt;
            }
        }
    }

    bool write(std::span<const uint8_t> data) override {
        return write_all(fd_.get(),
                         std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    }

private:
    UniqueFd fd_;
};

bool is_dot(std::string_view name) {
    return name == "." || name == "..";
}

// Nothing there is an answer, not a failure.
bool not_there(int error_number) {
    return error_number == ENOENT || error_number == ENOTDIR;
}

} // namespace

std::unique_ptr<File> make_host_file(UniqueFd fd) {
    return std::make_unique<HostFile>(std::move(fd));
}

std::optional<std::vector<FolderEntry>> read_folder(int folder, TextView pattern, RunLog& log,
                                                    TextView windows_folder,
                                                    const fs::path& host_folder) {
    std::vector<FolderEntry> out;
    // The stream reads a duplicate, so that the folder stays open after it is closed.
    DIR* dir = ::fdopendir(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (dir == nullptr) {
        log_errno_failure(log, "fdopendir", windows_folder, host_folder);
        return std::nullopt;
    }
    ::rewinddir(dir); // a duplicate shares the reading position
    std::vector<std::pair<Text, FolderEntry>> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (is_dot(entry->d_name)) {
            continue;
        }
        FolderEntry e;
        e.name = from_utf8(entry->d_name);
        if (!dos_name_matches(pattern, e.name)) {
            continue;
        }
        e.host_name = entry->d_name;
        if (::fstatat(folder, entry->d_name, &e.st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // gone meanwhile
        }
        e.attributes = dos::attributes_at(folder, entry->d_name, e.st);
        Text order = to_upper(e.name);
        found.emplace_back(std::move(order), std::move(e));
    }
    ::closedir(dir);
    // One name (no wildcards) names one entry, as on a volume that ignores case: the one
    // spelled exactly so when the host holds several spellings.
    if (pattern.find_first_of(u"*?") == TextView::npos && found.size() > 1) {
        const auto exact = std::find_if(found.begin(), found.end(),
                                        [&](const auto& f) { return f.second.name == pattern; });
        if (exact != found.end()) {
            auto only = std::move(*exact);
            found.clear();
            found.push_back(std::move(only));
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
    });
    out.reserve(found.size());
    for (auto& [order, entry] : found) {
        out.push_back(std::move(entry));
    }
    return out;
}

PortableFolder::PortableFolder(UniqueFd fd, Text windows_path, fs::path host_path,
                               const MachineRoot& machine, RunLog& log)
    : fd_(std::move(fd)), windows_path_(std::move(windows_path)), host_path_(std::move(host_path)),
      machine_(machine), log_(log) {}

std::unique_ptr<PortableFolder> PortableFolder::child(UniqueFd fd, TextView name,
                                                      const std::string& host_name) const {
    return std::make_unique<PortableFolder>(std::move(fd), windows_path_of(name),
                                            host_path_ / host_name, machine_, log_);
}

Text PortableFolder::windows_path_of(TextView name) const {
    Text path = windows_path_;
    if (!ends_with(path, u"\\")) {
        path += u'\\';
    }
    return path + Text(name);
}

void PortableFolder::log_refusal(const char* call, TextView name,
                                 const std::string& host_name) const {
    log_errno_failure(log_, call, windows_path_of(name), host_path_ / host_name);
}

std::optional<std::string> PortableFolder::look_at(TextView name, struct stat& st) {
    std::string host_name = to_utf8(name);
    if (host_name.empty() || is_dot(host_name) || host_name.find('/') != std::string::npos ||
        name.find_first_of(u"*?") != TextView::npos) {
        return std::nullopt; // one entry of this folder, nothing else
    }
    if (::fstatat(fd_.get(), host_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return host_name;
    }
    if (!not_there(errno)) {
        log_refusal("fstatat", name, host_name);
        return std::nullopt;
    }
    // Names are found without regard to case, as on a Windows volume.
    std::vector<FolderEntry> found = read_folder(fd_.get(), name, log_, windows_path_, host_path_)
                                         .value_or(std::vector<FolderEntry>{});
    if (found.empty()) {
        return std::nullopt;
    }
    st = found.front().st;
    return std::move(found.front().host_name);
}

std::optional<uint32_t> PortableFolder::attributes() {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) {
        log_errno_failure(log_, "fstat", windows_path_, host_path_);
        return std::nullopt;
    }
    return dos::attributes_of_open(fd_.get(), st);
}

bool PortableFolder::set_attributes(uint32_t attributes) {
    HostRefusal refusal;
    if (dos::set_attributes_of_open(fd_.get(), attributes, refusal)) {
        return true;
    }
    log_os_failure(log_,
                   errno_failure(refusal.error_number, refusal.call, windows_path_, host_path_));
    return false;
}

std::optional<std::vector<DirEntry>> PortableFolder::list(TextView pattern,
                                                          uint32_t attribute_filter) {
    std::optional<std::vector<FolderEntry>> read =
        read_folder(fd_.get(), pattern, log_, windows_path_, host_path_);
    if (!read) {
        return std::nullopt;
    }
    std::vector<DirEntry> out;
    for (FolderEntry& e : *read) {
        if (dir_filter_passes(e.attributes, attribute_filter)) {
            out.push_back(DirEntry{std::move(e.name), e.attributes});
        }
    }
    return out;
}

bool PortableFolder::set_attributes(TextView name, uint32_t attributes) {
    struct stat st {};
    const std::optional<std::string> found = look_at(name, st);
    if (!found || S_ISLNK(st.st_mode) || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
        return false;
    }
    const std::string& host_name = *found;
    // Opened without following a link: what is changed is the entry itself, even if a
    // link has taken its name since it was looked at.
    const UniqueFd entry(::openat(fd_.get(), host_name.c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!entry.valid()) {
        log_refusal("openat", name, host_name);
        return false;
    }
    // A file's attributes belong to the file, not to one of its names: through a second
    // name the run would change another file's.
    struct stat opened {};
    if (::fstat(entry.get(), &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_nlink > 1) {
        log_.write("SetAttr " + to_utf8(windows_path_of(name)) +
                   " refused: the file has another name, and its attributes are that file's too");
        return false;
    }
    HostRefusal refusal;
    if (dos::set_attributes_of_open(entry.get(), attributes, refusal)) {
        return true;
    }
    log_os_failure(log_, errno_failure(refusal.error_number, refusal.call, windows_path_of(name),
                                       host_path_ / host_name));
    return false;
}

bool PortableFolder::delete_files(TextView pattern) {
    return kill_each(read_folder(fd_.get(), pattern, log_, windows_path_, host_path_)
                         .value_or(std::vector<FolderEntry>{}),
                     [&](const FolderEntry& e) {
                         // Removes a link itself, never its target.
                         if (::unlinkat(fd_.get(), e.host_name.c_str(), 0) != 0) {
                             log_refusal("unlinkat", e.name, e.host_name);
                             return false;
                         }
                         dos::forget(e.st);
                         return true;
                     });
}

bool PortableFolder::remove_link(TextView name) {
    struct stat st {};
    const std::optional<std::string> host_name = look_at(name, st);
    if (!host_name || !S_ISLNK(st.st_mode)) {
        return false;
    }
    if (::unlinkat(fd_.get(), host_name->c_str(), 0) != 0) {
        log_refusal("unlinkat", name, *host_name);
        return false;
    }
    return true;
}

bool PortableFolder::remove_folder(TextView name) {
    struct stat st {};
    const std::optional<std::string> host_name = look_at(name, st);
    if (!host_name || !S_ISDIR(st.st_mode)) {
        return false;
    }
    // Windows refuses to remove a read-only folder.
    if ((dos::attributes_at(fd_.get(), host_name->c_str(), st) & attr::kReadOnly) != 0) {
        return false;
    }
    // unlinkat removes only a folder of that name: a link that took the name meanwhile
    // fails with ENOTDIR and stays.
    if (::unlinkat(fd_.get(), host_name->c_str(), AT_REMOVEDIR) != 0) {
        log_refusal("unlinkat", name, *host_name);
        return false;
    }
    dos::forget(st);
    return true;
}

std::unique_ptr<Folder> PortableFolder::open_folder(TextView name) {
    struct stat st {};
    const std::optional<std::string> host_name = look_at(name, st);
    if (!host_name || !S_ISDIR(st.st_mode)) {
        return nullptr;
    }
    UniqueFd child(
        ::openat(fd_.get(), host_name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child.valid()) {
        // A link that took the name meanwhile is refused by the system (ELOOP, ENOTDIR).
        if (errno != ELOOP && !not_there(errno)) {
            log_refusal("openat", name, *host_name);
        }
        return nullptr;
    }
    return this->child(std::move(child), name, *host_name);
}

std::unique_ptr<File> PortableFolder::open_file(TextView name, FileMode mode) {
    struct stat st {};
    const std::optional<std::string> found = look_at(name, st);
    if (mode == FileMode::ReadWrite) {
        return open_for_writing(name, found, st);
    }
    if (!found || !S_ISREG(st.st_mode)) {
        return nullptr;
    }
    UniqueFd file(::openat(fd_.get(), found->c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) {
        if (errno != ELOOP && !not_there(errno)) {
            log_refusal("openat", name, *found);
        }
        return nullptr;
    }
    // Checked on what was opened: a regular file, with one name where the mode asks.
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (mode != FileMode::Read && st.st_nlink != 1)) {
        return nullptr;
    }
    // Reads wait for data as usual.
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return make_host_file(std::move(file));
}

std::unique_ptr<File> PortableFolder::open_for_writing(TextView name,
                                                       const std::optional<std::string>& found,
                                                       const struct stat& st) {
    if (found && (S_ISLNK(st.st_mode) || !S_ISREG(st.st_mode) ||
                  (dos::attributes_at(fd_.get(), found->c_str(), st) & attr::kReadOnly) != 0)) {
        return nullptr; // Windows opens a read-only file for reading only
    }
    const std::string host_name = found ? *found : to_utf8(name);
    if (!is_entry_name(name)) {
        return nullptr;
    }
    UniqueFd file(
        ::openat(fd_.get(), host_name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file.valid()) {
        log_refusal("openat", name, host_name);
        return nullptr;
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return nullptr;
    }
    return make_host_file(std::move(file));
}

std::unique_ptr<File> PortableFolder::create_private_file(TextView name) {
    const std::string host_name = to_utf8(name);
    if (host_name.empty() || is_dot(host_name) || host_name.find('/') != std::string::npos) {
        return nullptr;
    }
    UniqueFd file(::openat(fd_.get(), host_name.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) {
        log_refusal("openat", name, host_name);
        return nullptr;
    }
    // Exactly 0600, whatever the process's mask.
    if (::fchmod(file.get(), 0600) != 0) {
        log_refusal("fchmod", name, host_name);
        return nullptr;
    }
    return make_host_file(std::move(file));
}

bool PortableFolder::replace_file(TextView name, std::span<const uint8_t> bytes,
                                  uint32_t attributes) {
    struct stat old {};
    const std::optional<std::string> found = look_at(name, old);
    const std::string host_name = found ? *found : to_utf8(name);
    if (host_name.empty() || is_dot(host_name) || host_name.find('/') != std::string::npos ||
        (found && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))) {
        return false;
    }
    // The new bytes go to a file of their own in this folder first, renamed over the old.
    AtomicFile file(fd_.get(), host_name);
    HostRefusal refusal;
    const bool was_file = found && S_ISREG(old.st_mode);
    const mode_t mode = was_file ? (old.st_mode & 07777) | 0200 : 0666 & ~process_umask();
    if (file.open(refusal) &&
        file.write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   refusal)) {
        if (was_file && ::fchown(file.fd(), old.st_uid, old.st_gid) != 0) {
            errno = 0; // best effort: an unprivileged process cannot give a file away
        }
        if (::fchmod(file.fd(), mode) != 0) {
            refusal = HostRefusal{"fchmod", errno};
        } else {
            file.commit(refusal);
        }
    }
    if (refusal.call != nullptr) {
        log_os_failure(log_,
                       errno_failure(refusal.error_number, refusal.call, windows_path_of(name),
                                     host_path_ / file.temporary_name()));
        return false;
    }
    if (was_file) {
        dos::forget(old);
    }
    return set_attributes(name, attributes);
}

namespace {

constexpr const char* kMachineRule =
    "the mapped machine's rule: owned by the run's user, writable by nobody else";

// A folder of the run's: its own user owns it and nobody else may write to it, so nobody
// else can have put anything into it.
bool is_runs_own(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

// Gives a private folder's tree its access again: folders 0700 and files 0600 for the
// administrators alone, a file's read-only mark (no write bit) kept as it was. Links are
// left as they are and never followed.
void restrict_tree(int folder, RunLog& log, TextView windows_path, const fs::path& host) {
    for (const FolderEntry& e :
         read_folder(folder, u"*", log, windows_path, host).value_or(std::vector<FolderEntry>{})) {
        // A link, or a file with a second name (its rights are another file's too), is
        // left as it is.
        if ((!S_ISDIR(e.st.st_mode) && !S_ISREG(e.st.st_mode)) ||
            (S_ISREG(e.st.st_mode) && e.st.st_nlink > 1)) {
            continue;
        }
        const UniqueFd entry(::openat(folder, e.host_name.c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        const Text windows_entry = Text(windows_path) + u"\\" + e.name;
        const bool read_only = S_ISREG(e.st.st_mode) && (e.st.st_mode & 0222) == 0;
        const mode_t mode = S_ISDIR(e.st.st_mode) ? 0700 : read_only ? 0400 : 0600;
        if (!entry.valid() || ::fchmod(entry.get(), mode) != 0) {
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

std::optional<std::string> path_others_may_change(const fs::path& folder) {
    for (fs::path at = folder.lexically_normal();; at = at.parent_path()) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) {
            return at.native() + " cannot be looked at: " + errno_text(errno);
        }
        if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
            return at.native() + " belongs to another user";
        }
        if ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0) {
            return at.native() + " may be written by others and is not sticky";
        }
        if (!at.has_relative_path()) {
            return std::nullopt;
        }
    }
}

MadeFolder PortableFolder::make_private_folder(TextView name, PrivateAccess access) {
    MadeFolder out;
    out.rule = kMachineRule;
    const std::string host_name = to_utf8(name);
    if (!is_entry_name(name)) {
        return out;
    }
    // The folder's path must stay its own: programs are started from it by their path.
    if (const std::optional<std::string> why = path_others_may_change(host_path_)) {
        log_.write("the private folder " + to_utf8(windows_path_of(name)) +
                   " cannot be made safe: " + *why);
        return out;
    }
    const mode_t mode = access == PrivateAccess::AdministratorsOnly ? 0700 : 0755;
    struct stat st {};
    const std::optional<std::string> found = look_at(name, st);
    const bool created = !found && ::mkdirat(fd_.get(), host_name.c_str(), mode) == 0;
    if (!found && !created) {
        log_refusal("mkdirat", name, host_name);
        return out;
    }
    const std::string& actual = found ? *found : host_name;
    UniqueFd folder(
        ::openat(fd_.get(), actual.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid()) {
        // A link or a file of that name is not a folder of the run's.
        if (!created && (errno == ELOOP || errno == ENOTDIR)) {
            out.state = PrivateFolder::Untrusted;
        } else {
            log_refusal("openat", name, actual);
        }
        return out;
    }
    if (::fstat(folder.get(), &st) != 0) {
        log_refusal("fstat", name, actual);
        return out;
    }
    if (!created && !is_runs_own(st)) {
        out.state = PrivateFolder::Untrusted;
        return out;
    }
    if (::fchmod(folder.get(), mode) != 0) {
        log_refusal("fchmod", name, actual);
        return out;
    }
    if (!created && access == PrivateAccess::AdministratorsOnly) {
        restrict_tree(folder.get(), log_, windows_path_of(name), host_path_ / actual);
    }
    out.state = created ? PrivateFolder::Created : PrivateFolder::Trusted;
    out.folder = child(std::move(folder), name, actual);
    return out;
}

EntryTrust PortableFolder::trust(TextView name) {
    EntryTrust out;
    out.rule = kMachineRule;
    struct stat st {};
    if (!look_at(name, st)) {
        return out;
    }
    out.exists = true;
    out.owned_by_run = st.st_uid == ::geteuid();
    // A link itself cannot be changed, only replaced in its folder.
    out.others_may_change = !S_ISLNK(st.st_mode) && (st.st_mode & 022) != 0;
    out.protected_rights = true; // a mode inherits nothing
    return out;
}

bool PortableFolder::move(TextView name, Folder& destination, TextView new_name) {
    auto* const to = dynamic_cast<PortableFolder*>(&destination.opened());
    struct stat st {};
    const std::optional<std::string> host_name = look_at(name, st);
    if (to == nullptr || !host_name || !is_entry_name(new_name)) {
        return false;
    }
    const std::string target = to_utf8(new_name);
    // The entry itself moves (a link as a link), and never onto something that exists.
    if (::renameat2(fd_.get(), host_name->c_str(), to->fd_.get(), target.c_str(),
                    RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without RENAME_NOREPLACE: look, then rename.
        struct stat there {};
        if (::fstatat(to->fd_.get(), target.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
            errno = EEXIST;
        } else if (::renameat(fd_.get(), host_name->c_str(), to->fd_.get(), target.c_str()) == 0) {
            return true;
        }
    }
    log_refusal("renameat2", name, *host_name);
    return false;
}

std::optional<Text> PortableFolder::link_target(TextView name) {
    struct stat st {};
    const std::optional<std::string> host_name = look_at(name, st);
    if (!host_name || !S_ISLNK(st.st_mode)) {
        return std::nullopt;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(fd_.get(), host_name->c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) {
        return std::nullopt;
    }
    target.resize(static_cast<size_t>(n));
    const fs::path host = fs::path(target).is_absolute() ? fs::path(target) : host_path_ / target;
    return machine_.to_windows(host.lexically_normal());
}

} // namespace pelto::platform::portable
