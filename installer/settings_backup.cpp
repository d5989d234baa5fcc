#include "installer/settings_backup.h"

#include "core/error.h"
#include "core/workstation.h"
#include "installer/mdl_functions.h"
#include "installer/private_folders.h"
#include "platform/folder_walk.h"
#include "platform/windows_path.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pelto::installer {

namespace {

namespace attr = platform::attr;

// Every entry, hidden and system ones too.
constexpr uint32_t kAnyEntry = attr::kHidden | attr::kSystem | attr::kDirectory;
constexpr TextView kKeptFolderName = u"보관";

[[noreturn]] void fail(platform::Platform& p, const std::string& why) {
    p.log.write("backup: " + why + "; nothing is deleted");
    throw VbError::runtime(vberr::kPathFileAccess);
}

bool is_digits(TextView text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// A dated folder's place in time: its stamp, then its suffix number (none = 1). Other
// names are not dated folders and are left alone.
using Dated = KeptSet;

std::optional<Dated> dated(const Text& name) {
    constexpr size_t kStampLength = 15; // yyyymmdd-hhmmss
    if (name.size() < kStampLength || name[8] != u'-' || !is_digits(TextView(name).substr(0, 8)) ||
        !is_digits(TextView(name).substr(9, 6))) {
        return std::nullopt;
    }
    if (name.size() == kStampLength) {
        return Dated{name, name, 1};
    }
    const TextView suffix = TextView(name).substr(kStampLength + 1);
    if (name[kStampLength] != u'-' || !is_digits(suffix) || suffix.size() > 6) {
        return std::nullopt;
    }
    return Dated{name, name.substr(0, kStampLength), std::stoul(to_utf8(suffix))};
}

bool newer(const Dated& a, const Dated& b) {
    return a.stamp != b.stamp ? a.stamp > b.stamp : a.suffix > b.suffix;
}

// Copies `in` byte for byte into `out`; false when it cannot be read or written whole.
bool copy_bytes(platform::File& in, platform::File& out) {
    const std::optional<uint64_t> size = in.size();
    if (!size) {
        return false;
    }
    std::vector<uint8_t> buffer(size_t{64} * 1024);
    uint64_t copied = 0;
    while (true) {
        const std::optional<size_t> n = in.read(buffer);
        if (!n) {
            return false;
        }
        if (*n == 0) {
            break;
        }
        if (!out.write(std::span<const uint8_t>(buffer.data(), *n))) {
            return false;
        }
        copied += *n;
    }
    // A file that changed its length while it was read is not a faithful copy.
    return copied == *size;
}

// The dated folders of the open 보관.
std::vector<Dated> dated_folders(platform::Folder& kept) {
    std::vector<Dated> found;
    for (const platform::DirEntry& entry :
         kept.list(u"*", attr::kDirectory).value_or(std::vector<platform::DirEntry>{})) {
        if ((entry.attributes & (attr::kDirectory | attr::kReparsePoint)) == attr::kDirectory) {
            if (std::optional<Dated> d = dated(entry.name)) {
                found.push_back(std::move(*d));
            }
        }
    }
    return found;
}

// A new dated folder: the stamp, or, when folders of that stamp exist, the stamp with a
// suffix above all of theirs, so that the new folder is the newest of its second even
// after older ones of that second have been removed. Only a folder this call makes counts:
// a name that is taken in any way goes to the next suffix.
platform::MadeFolder make_dated_folder(platform::Platform& p, platform::Folder& kept,
                                       TextView stamp) {
    unsigned long suffix = 0;
    for (const Dated& d : dated_folders(kept)) {
        if (d.stamp == stamp) {
            suffix = std::max(suffix, d.suffix);
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt, ++suffix) {
        const Text name =
            suffix == 0 ? Text(stamp) : Text(stamp) + u"-" + from_utf8(std::to_string(suffix + 1));
        const std::optional<std::vector<platform::DirEntry>> there = kept.list(name, kAnyEntry);
        if (!there || !there->empty()) {
            continue; // a file, or a hidden folder, of that name (or a folder not readable)
        }
        platform::MadeFolder made =
            kept.make_private_folder(name, platform::PrivateAccess::AdministratorsOnly);
        switch (made.state) {
        case platform::PrivateFolder::Created:
            return made;
        case platform::PrivateFolder::Refused:
            fail(p, "the folder " + to_utf8(kept.path()) + "\\" + to_utf8(name) +
                        " cannot be created");
        case platform::PrivateFolder::Trusted:
        case platform::PrivateFolder::Untrusted:
            continue; // made by someone else meanwhile
        }
    }
    fail(p, "no free name for a folder " + to_utf8(stamp) + " in " + to_utf8(kept.path()));
}

// Removes the oldest dated folders so that the kKeptFolders newest remain, the new one
// always among them (even when the clock has gone back and its name looks older), and
// the oldest of all: it holds the workstation's settings from before the first run. The
// set a restore reads (`protect`) stays too.
void prune(platform::Platform& p, platform::Folder& kept, const Text& new_name, TextView protect) {
    std::vector<Dated> others = dated_folders(kept);
    std::erase_if(others, [&new_name](const Dated& d) { return d.name == new_name; });
    std::sort(others.begin(), others.end(), newer);
    if (others.size() <= kKeptFolders) {
        return;
    }
    for (size_t i = kKeptFolders - 1; i + 1 < others.size(); ++i) {
        if (equals_ignore_case(others[i].name, protect)) {
            continue;
        }
        const Text folder = kept.path() + u"\\" + others[i].name;
        mdl함수::delete_folder_in(p, kept, others[i].name);
        const std::optional<std::vector<platform::DirEntry>> left =
            kept.list(others[i].name, kAnyEntry);
        p.log.write("backup: older folder " + to_utf8(folder) +
                    (left && left->empty() ? " removed" : " could not be removed"));
    }
}

// The attributes a kept copy takes from its original (read-only, hidden, system), so that
// a restore can give them back.
uint32_t attributes_of(platform::Folder& folder, const Text& name) {
    const std::vector<platform::DirEntry> found =
        folder.list(name, kAnyEntry).value_or(std::vector<platform::DirEntry>{});
    return found.empty()
               ? attr::kNormal
               : found.front().attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem);
}

// What the run will delete or replace in C:\Pelto_H\bin, and so keeps first: the ini
// files the deletion removes (what Kill cannot delete, a folder or a read-only file,
// stays anyway; a link goes as a link, and what it points to stays) and the settings file
// that the template's copy replaces, whatever its attributes.
std::vector<Text> files_to_keep(platform::Platform& p, platform::Folder& bin,
                                std::span<const Text> also) {
    std::vector<Text> names;
    const std::optional<std::vector<platform::DirEntry>> inis = mdl함수::bin_ini_entries(p, bin);
    if (!inis) {
        // What cannot be seen cannot be kept, and must not be deleted unkept.
        fail(p, "C:\\Pelto_H\\bin cannot be read");
    }
    for (const platform::DirEntry& entry : *inis) {
        if ((entry.attributes & (attr::kDirectory | attr::kReadOnly | attr::kReparsePoint)) == 0) {
            names.push_back(entry.name);
        }
    }
    std::vector<Text> wanted{Text(workstation::kSettingsFileName)};
    wanted.insert(wanted.end(), also.begin(), also.end());
    for (const Text& name : wanted) {
        const std::optional<std::vector<platform::DirEntry>> found = bin.list(name, kAnyEntry);
        if (!found) {
            fail(p, "C:\\Pelto_H\\bin cannot be read");
        }
        for (const platform::DirEntry& entry : *found) {
            const bool known = std::any_of(names.begin(), names.end(), [&](const Text& n) {
                return equals_ignore_case(n, entry.name);
            });
            if ((entry.attributes & (attr::kDirectory | attr::kReparsePoint)) == 0 && !known) {
                names.push_back(entry.name);
            }
        }
    }
    return names;
}

// Copies each file of `names` from `bin` into the new dated folder `kept`, with its
// attributes; the names kept, joined for the log. Only a regular file with one name is
// copied: through a link or a hard link the run would read, and leave readable here, some
// other file. `failure` says which file could not be copied whole.
struct Copied {
    std::string names;
    std::string failure;
};
Copied copy_into(platform::Platform& p, platform::Folder& bin, platform::Folder& kept,
                 const std::vector<Text>& names) {
    std::string kept_names;
    std::string passed_over;
    for (const Text& name : names) {
        const std::unique_ptr<platform::File> in =
            bin.open_file(name, platform::FileMode::ReadOneName);
        if (!in) {
            // Gone meanwhile, or a link: what it names stays where it is and only the name
            // goes. Anything else that cannot be read as itself (a second name of some other
            // file among them) cannot be kept, and so must not be deleted.
            const std::optional<std::vector<platform::DirEntry>> there = bin.list(name, kAnyEntry);
            if (there && there->empty()) {
                continue;
            }
            if (!there || (there->front().attributes & attr::kReparsePoint) == 0) {
                return Copied{{},
                              "C:\\Pelto_H\\bin\\" + to_utf8(name) +
                                  " cannot be read as a file with one name"};
            }
            passed_over.append(passed_over.empty() ? "" : ", ").append(to_utf8(name));
            continue;
        }
        bool copied = false;
        if (const std::unique_ptr<platform::File> out = kept.create_private_file(name)) {
            copied = copy_bytes(*in, *out);
        } // closed before it takes its original's attributes
        if (!copied || !kept.set_attributes(name, attributes_of(bin, name))) {
            return Copied{{},
                          "C:\\Pelto_H\\bin\\" + to_utf8(name) + " could not be copied to " +
                              to_utf8(kept.path())};
        }
        kept_names.append(kept_names.empty() ? "" : ", ").append(to_utf8(name));
    }
    if (!passed_over.empty()) {
        p.log.write("backup: a link, so not copied (it goes as a link; what it names stays): " +
                    passed_over);
    }
    return Copied{kept_names, {}};
}

} // namespace

Text folder_stamp(const platform::LocalTime& moment) {
    std::array<char, 32> text{};
    const int n =
        std::snprintf(text.data(), text.size(), "%04d%02d%02d-%02d%02d%02d", moment.year,
                      moment.month, moment.day, moment.hour, moment.minute, moment.second);
    return from_utf8(std::string(text.data(), static_cast<size_t>(n)));
}

Text keep_settings_files(platform::Platform& p, platform::Folder& staging, platform::Folder* bin,
                         TextView stamp, std::span<const Text> also, TextView protect) {
    const std::vector<Text> names = bin ? files_to_keep(p, *bin, also) : std::vector<Text>{};
    if (names.empty()) {
        p.log.write("backup: no settings files in C:\\Pelto_H\\bin to keep");
        return {};
    }
    // The copies hold the institution server's password: only administrators may read
    // them, and they go only into folders the run made.
    const std::unique_ptr<platform::Folder> kept = installer::prepare_private_folder(
        p, staging, kKeptFolderName, platform::PrivateAccess::AdministratorsOnly, stamp);
    platform::MadeFolder made = make_dated_folder(p, *kept, stamp);
    const Text folder = made.folder->path();
    const Text name = folder.substr(folder.rfind(u'\\') + 1);
    const Copied copied = copy_into(p, *bin, *made.folder, names);
    made.folder.reset();
    if (copied.names.empty()) {
        // An incomplete folder would count among the kept ones and push out a whole one.
        mdl함수::delete_folder_in(p, *kept, name);
        if (!copied.failure.empty()) {
            fail(p, copied.failure);
        }
        return {};
    }
    p.log.write("backup: settings files kept in " + to_utf8(folder) + ": " + copied.names);
    prune(p, *kept, name, protect);
    return folder;
}

Text keep_settings_files(platform::Platform& p, TextView stamp) {
    const platform::ReachedFolder bin = mdl함수::reach_bin_folder(p);
    if (!bin.folder || files_to_keep(p, *bin.folder, {}).empty()) {
        p.log.write("backup: no settings files in C:\\Pelto_H\\bin to keep");
        return {};
    }
    const std::optional<platform::FolderAndName> staging =
        platform::split_folder_and_name(workstation::kStagingFolder);
    const platform::ReachedFolder drive = platform::reach_folder(p.files, p.log, staging->folder);
    if (!drive.folder) {
        fail(p, "the staging folder cannot be reached: " + platform::reach_text(drive));
    }
    const std::unique_ptr<platform::Folder> folder = installer::prepare_private_folder(
        p, *drive.folder, staging->name, platform::PrivateAccess::AdministratorsChange, stamp);
    return keep_settings_files(p, *folder, bin.folder.get(), stamp);
}

std::vector<KeptSet> kept_sets(platform::Folder& kept) {
    std::vector<Dated> found = dated_folders(kept);
    std::sort(found.begin(), found.end(), newer);
    return found;
}

} // namespace pelto::installer
