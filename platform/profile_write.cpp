#include "platform/profile_write.h"

#include "platform/profile_rules.h"

namespace pelto::platform {

namespace {

// Larger files are not profile files the suite writes; they are left alone.
constexpr uint64_t kLargestProfileFile = 16ULL * 1024 * 1024;

Text file_path(const Folder& folder, TextView name) {
    Text path = folder.path();
    if (!ends_with(path, u"\\")) {
        path += u'\\';
    }
    return path + Text(name);
}

} // namespace

bool FolderProfiles::write_private_profile_strings(Folder& folder, TextView name, TextView section,
                                                   std::span<const ProfileEntry> entries) {
    const Text file = file_path(folder, name);
    const auto refuse = [&](const std::string& why) {
        log_.write(profile_not_written(section, entries, file, why));
        return false;
    };
    const std::optional<std::vector<DirEntry>> listed =
        folder.list(name, attr::kHidden | attr::kSystem | attr::kDirectory);
    if (!listed) {
        // Not knowing whether the file is there, a write would make a new one in its place.
        return refuse("the folder cannot be read");
    }
    const std::vector<DirEntry>& found = *listed;
    std::optional<std::string> bytes;
    uint32_t attributes = attr::kNormal;
    if (!found.empty()) {
        attributes = found.front().attributes;
        if ((attributes & attr::kReparsePoint) != 0) {
            return refuse("the file is a link");
        }
        if ((attributes & attr::kDirectory) != 0) {
            return refuse("not a file");
        }
        if ((attributes & attr::kReadOnly) != 0) {
            return refuse("the file is read-only");
        }
        const std::unique_ptr<File> opened = folder.open_file(name, FileMode::ReadOneName);
        if (!opened) {
            return refuse("cannot read it, or it has a second name (a hard link)");
        }
        const std::optional<uint64_t> size = opened->size();
        if (size && *size > kLargestProfileFile) {
            return refuse("larger than a settings file");
        }
        bytes = read_all(*opened);
        if (!bytes) {
            return refuse("cannot read it");
        }
    }
    const ProfileEdit edit = edit_profile(bytes, section, entries);
    if (!edit.refusal.empty()) {
        return refuse(edit.refusal);
    }
    if (!edit.bytes) {
        return true;
    }
    const std::span<const uint8_t> edited(reinterpret_cast<const uint8_t*>(edit.bytes->data()),
                                          edit.bytes->size());
    const uint32_t kept = attributes & (attr::kHidden | attr::kSystem);
    if (!folder.replace_file(found.empty() ? Text(name) : found.front().name, edited, kept)) {
        return refuse("it cannot be replaced (the line above says why)");
    }
    return true;
}

} // namespace pelto::platform
