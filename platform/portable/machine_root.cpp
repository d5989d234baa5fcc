// Windows paths onto the machine root. Windows resolves ".." by text before it looks at
// the disk and compares names without regard to case; a Linux folder does neither, so
// both happen here, one component at a time. Symbolic links met on the way are followed
// only while they stay inside the root: the machine is a sandbox for the program.
#include "platform/portable/machine_root.h"

#include "core/error.h"
#include "platform/windows_path.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>
#include <vector>
#ifdef SYS_openat2
#include <linux/openat2.h>
#endif

namespace pelto::platform::portable {

namespace fs = std::filesystem;

namespace {

fs::path normalise_root(fs::path root) {
    std::error_code ec;
    fs::path canonical = fs::canonical(root, ec);
    root = ec ? fs::absolute(root, ec).lexically_normal() : std::move(canonical);
    if (!root.has_filename() && root.has_parent_path() && root != root.root_path()) {
        root = root.parent_path(); // "/x/y/" -> "/x/y"
    }
    return root;
}

bool is_ascii_letter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The host folders of the volume ("drive_c", or "unc", HOST, SHARE) and the names below it.
std::optional<std::vector<Text>> host_names(TextView path) {
    const std::optional<WindowsPath> parsed = parse_windows_path(path);
    if (!parsed) {
        return std::nullopt;
    }
    std::vector<Text> names = volume_folders(parsed->volume);
    names.insert(names.end(), parsed->names.begin(), parsed->names.end());
    return names;
}

// The entry of `folder` that Windows would open for `name`: the exact spelling first,
// else the first case-insensitive match in name order (so two spellings that differ
// only in case always give the same answer). With the entry's own type (not followed).
struct Entry {
    fs::path path;
    fs::file_type type;
};

std::optional<Entry> find_entry(const fs::path& folder, TextView name) {
    std::error_code ec;
    const fs::path candidate = folder / to_utf8(name);
    const fs::file_status exact = fs::symlink_status(candidate, ec);
    if (!ec && exact.type() != fs::file_type::not_found) {
        return Entry{candidate, exact.type()};
    }
    if (ec.value() == ENOTDIR) {
        return std::nullopt; // `folder` is a file: nothing below it
    }
    std::optional<std::string> best;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string host_name = it->path().filename().native();
        if (equals_ignore_case(from_utf8(host_name), name) && (!best || host_name < *best)) {
            best = host_name;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    const fs::path found = folder / *best;
    return Entry{found, fs::symlink_status(found, ec).type()};
}

// Whether `path` exists exactly as spelled with no symbolic link before its last name
// (the last may be one): then it is what a component-by-component look-up would find.
// One system call where the kernel offers openat2; false (look up by components) where
// it does not.
bool exists_without_links(const std::string& path) {
#ifdef SYS_openat2
    static std::atomic<bool> unavailable{false};
    if (unavailable.load(std::memory_order_relaxed)) {
        return false;
    }
    open_how how{};
    how.flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd < 0) {
        if (errno == ENOSYS) {
            unavailable.store(true, std::memory_order_relaxed);
        }
        return false;
    }
    ::close(static_cast<int>(fd));
    return true;
#else
    (void)path;
    return false;
#endif
}

} // namespace

std::vector<Text> volume_folders(TextView volume) {
    if (volume.size() == 2 && volume[1] == u':') {
        Text drive = u"drive_";
        drive.push_back(static_cast<char16_t>(volume[0] | 0x20)); // lower case
        return {drive};
    }
    std::vector<Text> out{u"unc"};
    size_t start = 2;
    const size_t cut = volume.find(u'\\', start);
    out.emplace_back(volume.substr(start, cut - start));
    out.emplace_back(volume.substr(cut + 1));
    return out;
}

MachineRoot::MachineRoot(fs::path root) : root_(normalise_root(std::move(root))) {}

MachineRoot MachineRoot::from_environment() {
    const char* value = std::getenv("PELTO_MACHINE_ROOT");
    if (value == nullptr || *value == '\0') {
        throw VbError(vberr::kPathNotFound, u"PeltoUserInstall_H",
                      u"PELTO_MACHINE_ROOT is not set: set it to the folder that holds the "
                      u"Windows machine (drive_c, registry, network).");
    }
    std::error_code ec;
    if (!fs::is_directory(value, ec)) {
        throw VbError(vberr::kPathNotFound, u"PeltoUserInstall_H",
                      u"PELTO_MACHINE_ROOT=" + from_utf8(value) + u" does not name a folder.");
    }
    return MachineRoot(value);
}

bool MachineRoot::contains(const fs::path& host_path) const {
    const fs::path normal = host_path.lexically_normal();
    auto [root_end, path_it] =
        std::mismatch(root_.begin(), root_.end(), normal.begin(), normal.end());
    (void)path_it;
    return root_end == root_.end();
}

std::optional<fs::path> MachineRoot::follow_links(const fs::path& host_path) const {
    // realpath(), except that a missing tail is kept: a dangling link is judged by where
    // it would lead, so that creating a file through it cannot land outside the root.
    std::error_code ec;
    std::vector<std::string> todo;
    for (const auto& part : fs::absolute(host_path, ec)) {
        todo.push_back(part.native());
    }
    std::reverse(todo.begin(), todo.end()); // a stack: next component at the back
    fs::path out = "/";
    bool missing = false;
    int hops = 0;
    while (!todo.empty()) {
        const std::string name = todo.back();
        todo.pop_back();
        if (name.empty() || name == "." || name == "/") {
            continue;
        }
        if (name == "..") {
            out = out.parent_path();
            continue;
        }
        const fs::path next = out / name;
        if (missing) {
            out = next;
            continue;
        }
        const fs::file_status st = fs::symlink_status(next, ec);
        if (ec || st.type() == fs::file_type::not_found) {
            missing = true;
            out = next;
            continue;
        }
        if (st.type() != fs::file_type::symlink) {
            out = next;
            continue;
        }
        if (++hops > 40) { // a loop of links
            return std::nullopt;
        }
        const fs::path target = fs::read_symlink(next, ec);
        if (ec) {
            return std::nullopt;
        }
        if (target.is_absolute()) {
            out = "/";
        }
        std::vector<std::string> parts;
        for (const auto& part : target) {
            parts.push_back(part.native());
        }
        todo.insert(todo.end(), parts.rbegin(), parts.rend());
    }
    if (!contains(out)) {
        return std::nullopt;
    }
    return out;
}

bool MachineRoot::is_volume_root(const fs::path& host_path) const {
    const fs::path relative = host_path.lexically_normal().lexically_relative(root_);
    std::vector<std::string> parts;
    for (const auto& part : relative) {
        if (!part.empty()) {
            parts.push_back(part.native());
        }
    }
    if (parts.size() == 1) {
        const std::string& p = parts[0];
        return p.size() == 7 && p.rfind("drive_", 0) == 0;
    }
    return parts.size() == 3 && parts[0] == "unc";
}

std::optional<fs::path> MachineRoot::to_host(TextView windows_path) const {
    const std::optional<std::vector<Text>> found = host_names(windows_path);
    if (!found) {
        return std::nullopt;
    }
    const std::vector<Text>& names = *found;

    // The usual case: every name spelled as on the disk, no link on the way.
    std::string exact = root_.native();
    for (const Text& name : names) {
        exact += '/';
        exact += to_utf8(name);
    }
    if (exists_without_links(exact)) {
        return fs::path(std::move(exact));
    }

    fs::path current = root_;
    bool missing = false;
    for (size_t i = 0; i < names.size(); ++i) {
        if (missing) {
            current /= to_utf8(names[i]);
            continue;
        }
        const std::optional<Entry> entry = find_entry(current, names[i]);
        if (!entry) {
            missing = true;
            current /= to_utf8(names[i]);
            continue;
        }
        current = entry->path;
        const bool last = i + 1 == names.size();
        if (!last && entry->type == fs::file_type::symlink) {
            // A folder reached through a link: go on from its target, which must itself
            // be on the machine (a dangling link is judged by where it would lead).
            const std::optional<fs::path> target = follow_links(current);
            if (!target) {
                return std::nullopt;
            }
            current = *target;
        }
    }
    return current;
}

std::optional<Text> MachineRoot::to_windows(const fs::path& host_path) const {
    std::error_code ec;
    const fs::path absolute = fs::absolute(host_path, ec).lexically_normal();
    if (ec || !contains(absolute)) {
        return std::nullopt;
    }
    std::vector<Text> parts;
    for (const auto& part : absolute.lexically_relative(root_)) {
        if (!part.empty() && part != ".") {
            parts.push_back(from_utf8(part.native()));
        }
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    Text out;
    size_t next = 1;
    if (parts[0].size() == 7 && parts[0].rfind(u"drive_", 0) == 0 && is_ascii_letter(parts[0][6])) {
        out.push_back(static_cast<char16_t>(parts[0][6] & ~0x20)); // upper case
        out += u":";
    } else if (parts[0] == u"unc" && parts.size() >= 3) {
        out = u"\\\\" + parts[1] + u"\\" + parts[2];
        next = 3;
    } else {
        return std::nullopt;
    }
    if (next == parts.size() && next == 1) {
        return out + u"\\"; // a drive root keeps its backslash
    }
    for (size_t i = next; i < parts.size(); ++i) {
        out += u"\\" + parts[i];
    }
    return out;
}

fs::path MachineRoot::registry_file() const {
    return root_ / "registry" / "HKEY_LOCAL_MACHINE.reg";
}

fs::path MachineRoot::servers_file() const {
    return root_ / "network" / "servers.ini";
}

fs::path MachineRoot::log_file() const {
    return root_ / "log" / "PeltoUserInstall_H.log";
}

fs::path MachineRoot::run_lock_file() const {
    return root_ / "log" / "PeltoUserInstall_H.lock";
}

} // namespace pelto::platform::portable
