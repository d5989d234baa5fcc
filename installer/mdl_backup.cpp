#include "installer/mdl_backup.h"

#include "core/error.h"
#include "installer/mdl_functions.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace pelto::mdl보관 {

namespace {

namespace attr = platform::attr;

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

// Copies one file byte for byte through the raw file access of the platform.
bool copy_bytes(platform::Platform& p, const Text& from, const Text& to) {
    const std::unique_ptr<platform::File> in = p.files.open_file(from, platform::FileMode::Read);
    if (!in) {
        return false;
    }
    const std::optional<uint64_t> size = in->size();
    const std::unique_ptr<platform::File> out =
        p.files.open_file(to, platform::FileMode::ReadWrite);
    if (!size || !out) {
        return false;
    }
    std::vector<uint8_t> buffer(size_t{64} * 1024);
    uint64_t copied = 0;
    while (true) {
        const std::optional<size_t> n = in->read(buffer);
        if (!n) {
            return false;
        }
        if (*n == 0) {
            break;
        }
        if (!out->write(std::span<const uint8_t>(buffer.data(), *n))) {
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
         p.files.list(Text(kBackupFolder) + u"\\", attr::kDirectory)) {
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
// after older ones of that second have been removed.
Text make_dated_folder(platform::Platform& p, TextView stamp) {
    unsigned long suffix = 0;
    for (const Dated& d : dated_folders(p)) {
        if (d.stamp == stamp) {
            suffix = std::max(suffix, d.suffix);
        }
    }
    const Text base = Text(kBackupFolder) + u"\\" + Text(stamp);
    for (int attempt = 0; attempt < 100; ++attempt, ++suffix) {
        Text folder = suffix == 0 ? base : base + u"-" + from_utf8(std::to_string(suffix + 1));
        if (p.files.get_attributes(folder)) {
            continue; // a file, or a hidden folder, of that name
        }
        if (!p.files.create_private_directory(folder)) {
            fail(p, "the folder " + to_utf8(folder) + " cannot be created");
        }
        return folder;
    }
    fail(p, "no free name for the folder " + to_utf8(base));
}

// Removes the oldest dated folders so that kKeptFolders remain, the new one always
// among them (even when the clock has gone back and its name looks older).
void prune(platform::Platform& p, const Text& new_name) {
    std::vector<Dated> others = dated_folders(p);
    std::erase_if(others, [&new_name](const Dated& d) { return d.name == new_name; });
    std::sort(others.begin(), others.end(), newer);
    for (size_t i = kKeptFolders - 1; i < others.size(); ++i) {
        const Text folder = Text(kBackupFolder) + u"\\" + others[i].name;
        mdl함수::fG_DeleteFolder(p, folder);
        p.log.write("backup: older folder " + to_utf8(folder) +
                    (p.files.get_attributes(folder) ? " could not be removed" : " removed"));
    }
}

} // namespace

Text fG_Stamp(std::time_t moment) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &moment);
#else
    localtime_r(&moment, &local);
#endif
    std::array<char, 32> text{};
    const size_t n = std::strftime(text.data(), text.size(), "%Y%m%d-%H%M%S", &local);
    return from_utf8(std::string(text.data(), n));
}

Text fG_KeepBinIniFiles(platform::Platform& p, TextView stamp) {
    std::vector<Text> names;
    for (const platform::DirEntry& entry : mdl함수::fG_BinIniEntries(p)) {
        // What Kill cannot delete (a folder, a read-only file) stays anyway; a link goes
        // as a link, and what it points to stays.
        if ((entry.attributes & (attr::kDirectory | attr::kReadOnly | attr::kReparsePoint)) == 0) {
            names.push_back(entry.name);
        }
    }
    if (names.empty()) {
        p.log.write("backup: no ini files in C:\\Pelto_H\\bin to keep");
        return {};
    }

    // The staging folder does not exist yet on a first run; it is made with its protected
    // access rights, which the copies then share.
    if (!p.files.create_private_directory(kStagingFolder)) {
        fail(p, "the staging folder C:\\펠토사용자설치 cannot be created or taken over");
    }
    if (!p.files.create_private_directory(kBackupFolder)) {
        fail(p, "the folder C:\\펠토사용자설치\\보관 cannot be created");
    }
    Text folder = make_dated_folder(p, stamp);
    std::string kept;
    for (const Text& name : names) {
        const Text from = Text(mdl함수::kBinFolder) + name;
        Text to = folder;
        to.append(u"\\").append(name);
        if (!copy_bytes(p, from, to)) {
            // An incomplete folder would count among the kept ones and push out a whole one.
            mdl함수::fG_DeleteFolder(p, folder);
            fail(p, "C:\\Pelto_H\\bin\\" + to_utf8(name) + " could not be copied to " +
                        to_utf8(folder));
        }
        kept.append(kept.empty() ? "" : ", ").append(to_utf8(name));
    }
    p.log.write("backup: ini files kept in " + to_utf8(folder) + ": " + kept);
    prune(p, folder.substr(folder.rfind(u'\\') + 1));
    return folder;
}

} // namespace pelto::mdl보관
