#include "installer/settings_backup.h"

#include "core/error.h"
#include "core/workstation.h"
#include "installer/mdl_functions.h"
#include "installer/private_folders.h"

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
// The settings file that the template's copy replaces.

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
struct Dated {
    Text name;
    Text stamp;
    unsigned long suffix;
};

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

// The dated folders below kBackupFolder.
std::vector<Dated> dated_folders(platform::Platform& p) {
    std::vector<Dated> found;
    for (const platform::DirEntry& entry :
         p.files.list(Text(workstation::kBackupFolder) + u"\\", attr::kDirectory)) {
        if ((entry.attributes & attr::kDirectory) != 0) {
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
Text make_dated_folder(platform::Platform& p, TextView stamp) {
    unsigned long suffix = 0;
    for (const Dated& d : dated_folders(p)) {
        if (d.stamp == stamp) {
            suffix = std::max(suffix, d.suffix);
        }
    }
    const Text base = Text(workstation::kBackupFolder) + u"\\" + Text(stamp);
    for (int attempt = 0; attempt < 100; ++attempt, ++suffix) {
        Text folder = suffix == 0 ? base : base + u"-" + from_utf8(std::to_string(suffix + 1));
        if (p.files.get_attributes(folder)) {
            continue; // a file, or a hidden folder, of that name
        }
        switch (
            p.files.make_private_directory(folder, platform::PrivateAccess::AdministratorsOnly)) {
        case platform::PrivateFolder::Created:
            return folder;
        case platform::PrivateFolder::Refused:
            fail(p, "the folder " + to_utf8(folder) + " cannot be created");
        case platform::PrivateFolder::Trusted:
        case platform::PrivateFolder::Untrusted:
            continue; // made by someone else meanwhile
        }
    }
    fail(p, "no free name for the folder " + to_utf8(base));
}

// Removes the oldest dated folders so that the kKeptFolders newest remain, the new one
// always among them (even when the clock has gone back and its name looks older), and
// the oldest of all: it holds the workstation's settings from before the first run.
void prune(platform::Platform& p, const Text& new_name) {
    std::vector<Dated> others = dated_folders(p);
    std::erase_if(others, [&new_name](const Dated& d) { return d.name == new_name; });
    std::sort(others.begin(), others.end(), newer);
    if (others.size() <= kKeptFolders) {
        return;
    }
    for (size_t i = kKeptFolders - 1; i + 1 < others.size(); ++i) {
        const Text folder = Text(workstation::kBackupFolder) + u"\\" + others[i].name;
        mdl함수::fG_DeleteFolder(p, folder);
        p.log.write("backup: older folder " + to_utf8(folder) +
                    (p.files.get_attributes(folder) ? " could not be removed" : " removed"));
    }
}

// The attributes a kept copy takes from its original (read-only, hidden, system), so that
// a restore can give them back.
uint32_t attributes_of(platform::Folder& folder, const Text& name) {
    const std::vector<platform::DirEntry> found = folder.list(name, kAnyEntry);
    return found.empty()
               ? attr::kNormal
               : found.front().attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem);
}

// What the run will delete or replace in C:\Pelto_H\bin, and so keeps first: the ini
// files the deletion removes (what Kill cannot delete, a folder or a read-only file,
// stays anyway; a link goes as a link, and what it points to stays) and the settings file
// that the template's copy replaces, whatever its attributes.
std::vector<Text> files_to_keep(platform::Platform& p, platform::Folder& bin) {
    std::vector<Text> names;
    for (const platform::DirEntry& entry : mdl함수::bin_ini_entries(p, bin)) {
        if ((entry.attributes & (attr::kDirectory | attr::kReadOnly | attr::kReparsePoint)) == 0) {
            names.push_back(entry.name);
        }
    }
    for (const platform::DirEntry& entry : bin.list(workstation::kSettingsFileName, kAnyEntry)) {
        if ((entry.attributes & (attr::kDirectory | attr::kReparsePoint)) == 0 &&
            std::find(names.begin(), names.end(), entry.name) == names.end()) {
            names.push_back(entry.name);
        }
    }
    return names;
}

} // namespace

Text folder_stamp(const platform::LocalTime& moment) {
    std::array<char, 32> text{};
    const int n =
        std::snprintf(text.data(), text.size(), "%04d%02d%02d-%02d%02d%02d", moment.year,
                      moment.month, moment.day, moment.hour, moment.minute, moment.second);
    return from_utf8(std::string(text.data(), static_cast<size_t>(n)));
}

Text keep_settings_files(platform::Platform& p, TextView stamp) {
    // The folder is held open: what is copied is what the deletion will meet there.
    const std::unique_ptr<platform::Folder> bin = mdl함수::open_bin_folder(p);
    const std::vector<Text> names = bin ? files_to_keep(p, *bin) : std::vector<Text>{};
    if (names.empty()) {
        p.log.write("backup: no settings files in C:\\Pelto_H\\bin to keep");
        return {};
    }
    // The copies hold the institution server's password: only administrators may read
    // them, and they go only into folders the run made.
    installer::prepare_private_folder(p, workstation::kStagingFolder,
                                      platform::PrivateAccess::AdministratorsChange, stamp);
    installer::prepare_private_folder(p, workstation::kBackupFolder,
                                      platform::PrivateAccess::AdministratorsOnly, stamp);
    const Text folder = make_dated_folder(p, stamp);
    const std::unique_ptr<platform::Folder> kept = p.files.open_folder(folder);
    if (!kept) {
        fail(p, "the folder " + to_utf8(folder) + " cannot be opened");
    }
    std::string kept_names;
    std::string passed_over;
    for (const Text& name : names) {
        // Only a regular file with one name is copied: through a link or a hard link the
        // run would read, and leave readable here, some other file.
        const std::unique_ptr<platform::File> in = bin->open_file(name);
        if (!in) {
            const bool there = !bin->list(name, kAnyEntry).empty();
            if (!there) {
                continue; // gone meanwhile: nothing to keep
            }
            passed_over.append(passed_over.empty() ? "" : ", ").append(to_utf8(name));
            continue;
        }
        bool copied = false;
        if (const std::unique_ptr<platform::File> out = kept->create_private_file(name)) {
            copied = copy_bytes(*in, *out);
        } // closed before it takes its original's attributes
        if (!copied || !kept->set_attributes(name, attributes_of(*bin, name))) {
            // An incomplete folder would count among the kept ones and push out a whole one.
            mdl함수::fG_DeleteFolder(p, folder);
            fail(p, "C:\\Pelto_H\\bin\\" + to_utf8(name) + " could not be copied to " +
                        to_utf8(folder));
        }
        kept_names.append(kept_names.empty() ? "" : ", ").append(to_utf8(name));
    }
    if (kept_names.empty()) {
        mdl함수::fG_DeleteFolder(p, folder);
    }
    if (!passed_over.empty()) {
        p.log.write("backup: not a regular file with one name, so not copied (it goes as a "
                    "link, or keeps its other name): " +
                    passed_over);
    }
    if (kept_names.empty()) {
        return {};
    }
    p.log.write("backup: settings files kept in " + to_utf8(folder) + ": " + kept_names);
    prune(p, folder.substr(folder.rfind(u'\\') + 1));
    return folder;
}

std::vector<Text> kept_folder_names(platform::Platform& p) {
    std::vector<Dated> found = dated_folders(p);
    std::sort(found.begin(), found.end(), newer);
    std::vector<Text> names;
    for (Dated& d : found) {
        names.push_back(std::move(d.name));
    }
    return names;
}

} // namespace pelto::installer
