#include "installer/private_folders.h"

#include "core/error.h"
#include "core/workstation.h"
#include "platform/dos_name.h"
#include "platform/folder_walk.h"
#include "platform/windows_path.h"

#include <string>

namespace pelto::installer {

namespace {

namespace attr = platform::attr;
using platform::Folder;

constexpr uint32_t kAnyEntry = attr::kHidden | attr::kSystem | attr::kDirectory;
constexpr TextView kKeptName = u"보관";

[[noreturn]] void fail(platform::Platform& p, const std::string& why) {
    p.log.write(why + "; nothing is deleted");
    throw VbError::runtime(vberr::kPathFileAccess);
}

Text path_in(const Folder& folder, TextView name) {
    const Text& path = folder.path();
    return ends_with(path, u"\\") ? path + Text(name) : path + u"\\" + Text(name);
}

// A name of `parent` that nothing has yet: "<base>", else "<base>-2", "<base>-3" ...
std::optional<Text> free_name(Folder& parent, const Text& base) {
    for (int n = 1; n <= 100; ++n) {
        const Text name = n == 1 ? base : base + u"-" + from_utf8(std::to_string(n));
        const std::optional<std::vector<platform::DirEntry>> there = parent.list(name, kAnyEntry);
        if (!there) {
            return std::nullopt;
        }
        if (there->empty()) {
            return name;
        }
    }
    return std::nullopt;
}

// Moves the entry `name` of `parent` aside within `parent`, whole.
void move_aside(platform::Platform& p, Folder& parent, TextView name, TextView stamp) {
    const std::optional<Text> aside = free_name(parent, Text(name) + u"." + Text(stamp));
    const Text from = path_in(parent, name);
    if (!aside) {
        fail(p, "no free name to move " + to_utf8(from) + " aside");
    }
    if (!parent.move(name, parent, *aside)) {
        fail(p, to_utf8(from) + " was not made by this program and cannot be moved aside to " +
                    to_utf8(path_in(parent, *aside)));
    }
    p.log.write(to_utf8(from) +
                " was not made by this program (another user may have put things into it): "
                "moved aside, whole, to " +
                to_utf8(path_in(parent, *aside)));
}

std::string rule_text(const platform::MadeFolder& made) {
    return made.rule.empty() ? std::string() : " (" + made.rule + ")";
}

} // namespace

std::unique_ptr<Folder> prepare_private_folder(platform::Platform& p, Folder& parent, TextView name,
                                               platform::PrivateAccess access, TextView stamp) {
    const Text path = path_in(parent, name);
    platform::MadeFolder made = parent.make_private_folder(name, access);
    if (made.state == platform::PrivateFolder::Untrusted) {
        p.log.write(to_utf8(path) + " is not one this program made" + rule_text(made));
        move_aside(p, parent, name, stamp);
        made = parent.make_private_folder(name, access);
        if (made.state != platform::PrivateFolder::Created) {
            fail(p, "the folder " + to_utf8(path) + " cannot be made anew");
        }
    }
    if (!made.folder) {
        fail(p, "the folder " + to_utf8(path) + " cannot be made or used");
    }
    p.log.write(std::string(made.state == platform::PrivateFolder::Created ? "made " : "ready: ") +
                to_utf8(path) + rule_text(made));
    return std::move(made.folder);
}

namespace {

// Where the staging folder's leftovers go: a new folder beside it, made on first use.
class Aside {
public:
    Aside(platform::Platform& p, Folder& drive, const Folder& folder, TextView stamp)
        : p_(p), drive_(drive) {
        const Text& path = folder.path();
        base_ = path.substr(path.find_last_of(u'\\') + 1) + u"." + Text(stamp);
    }

    void take(Folder& staging, const Text& name) {
        if (!folder_) {
            const std::optional<Text> free = free_name(drive_, base_);
            platform::MadeFolder made =
                free
                    ? drive_.make_private_folder(*free, platform::PrivateAccess::AdministratorsOnly)
                    : platform::MadeFolder{};
            if (made.state != platform::PrivateFolder::Created || !made.folder) {
                fail(p_, "no folder can be made beside " + to_utf8(staging.path()) +
                             " to move its entries aside");
            }
            folder_ = std::move(made.folder);
        }
        if (!staging.move(name, *folder_, name)) {
            fail(p_, to_utf8(path_in(staging, name)) + " can be neither removed nor moved aside");
        }
        p_.log.write(to_utf8(path_in(staging, name)) + " moved aside to " +
                     to_utf8(folder_->path()));
    }

private:
    platform::Platform& p_;
    Folder& drive_;
    Text base_;
    std::unique_ptr<Folder> folder_;
};

// Removes one leftover by handle: a file (Kill's rule: not hidden, system or read-only)
// or a link. True when it is gone.
bool remove(Folder& staging, const platform::DirEntry& entry) {
    if ((entry.attributes & attr::kReparsePoint) != 0) {
        return staging.remove_link(entry.name);
    }
    if ((entry.attributes & attr::kDirectory) != 0 || platform::has_wildcards(entry.name)) {
        // A folder goes aside whole: what it holds is nobody's to delete here. A name with
        // a wildcard would be a pattern to Kill.
        return false;
    }
    if (!staging.delete_files(entry.name)) {
        return false;
    }
    const std::optional<std::vector<platform::DirEntry>> left = staging.list(entry.name, kAnyEntry);
    return left && left->empty();
}

} // namespace

void empty_private_folder(platform::Platform& p, Folder& drive, Folder& staging, TextView stamp) {
    Aside aside(p, drive, staging, stamp);
    int removed = 0;
    const std::optional<std::vector<platform::DirEntry>> entries = staging.list(u"*", kAnyEntry);
    if (!entries) {
        fail(p, to_utf8(staging.path()) + " cannot be read, so it cannot be emptied");
    }
    for (const platform::DirEntry& entry : *entries) {
        const bool kept = equals_ignore_case(entry.name, kKeptName);
        if (kept &&
            (entry.attributes & (attr::kDirectory | attr::kReparsePoint)) == attr::kDirectory &&
            staging.trust(entry.name).private_folder()) {
            continue;
        }
        if (!kept && remove(staging, entry)) {
            ++removed;
            continue;
        }
        aside.take(staging, entry.name);
    }
    const std::optional<std::vector<platform::DirEntry>> left = staging.list(u"*", kAnyEntry);
    if (!left) {
        fail(p, to_utf8(staging.path()) + " cannot be read, so it cannot be known to be empty");
    }
    for (const platform::DirEntry& entry : *left) {
        if (!equals_ignore_case(entry.name, kKeptName)) {
            fail(p, "the staging folder still holds " + to_utf8(path_in(staging, entry.name)));
        }
    }
    if (removed > 0) {
        p.log.write(to_utf8(staging.path()) + ": " + std::to_string(removed) +
                    " file(s) an earlier run or someone else left there removed");
    }
}

StagingFolder prepare_staging_folder(platform::Platform& p, TextView stamp) {
    const std::optional<platform::WindowsPath> staging =
        platform::parse_windows_path(workstation::kStagingFolder);
    platform::ReachedFolder drive =
        platform::reach_folder(p.files, p.log, staging->prefix(staging->names.size() - 1));
    if (!drive.folder) {
        fail(p, "the staging folder cannot be reached: " + platform::reach_text(drive));
    }
    StagingFolder out;
    out.folder = prepare_private_folder(p, *drive.folder, staging->names.back(),
                                        platform::PrivateAccess::AdministratorsChange, stamp);
    out.drive = std::move(drive.folder);
    empty_private_folder(p, *out.drive, *out.folder, stamp);
    return out;
}

} // namespace pelto::installer
