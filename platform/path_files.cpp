#include "platform/path_files.h"

#include "platform/dos_name.h"
#include "platform/windows_path.h"

namespace pelto::platform {

namespace {

constexpr uint32_t kAnyEntry = attr::kHidden | attr::kSystem | attr::kDirectory;

bool is_volume_root(TextView folder) {
    const std::optional<WindowsPath> parsed = parse_windows_path(folder);
    return parsed && parsed->names.empty();
}

} // namespace

PathFiles::InFolder PathFiles::in_folder(TextView path) {
    // A volume's root has no folder above it: it is its own, with no name.
    if (const std::optional<WindowsPath> whole = parse_windows_path(path);
        whole && whole->names.empty()) {
        return InFolder{files_.open_volume(whole->volume), {}};
    }
    const std::optional<FolderAndName> parts = split_folder_and_name(path);
    if (!parts) {
        return {};
    }
    ReachedFolder reached = reach_folder(files_, log_, parts->folder);
    return InFolder{std::move(reached.folder), parts->name};
}

std::vector<DirEntry> PathFiles::list(TextView pattern, uint32_t attribute_filter) {
    InFolder at = in_folder(pattern);
    if (!at.folder) {
        return {};
    }
    const Text name = at.name.empty() ? Text(u"*") : at.name;
    std::vector<DirEntry> entries;
    // A folder below a volume's root has "." and ".." first, as Dir lists them there.
    const std::optional<FolderAndName> parts = split_folder_and_name(pattern);
    if (has_wildcards(name) && !is_volume_root(parts->folder)) {
        const uint32_t own = at.folder->attributes().value_or(attr::kDirectory);
        for (const char16_t* dots : {u".", u".."}) {
            if (dos_name_matches(name, dots) && dir_filter_passes(own, attribute_filter)) {
                entries.push_back(DirEntry{dots, own});
            }
        }
    }
    // VB's Dir gives nothing for a folder it cannot read.
    for (DirEntry& entry :
         at.folder->list(name, attribute_filter).value_or(std::vector<DirEntry>{})) {
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<uint32_t> PathFiles::get_attributes(TextView path) {
    InFolder at = in_folder(path);
    if (!at.folder) {
        return std::nullopt;
    }
    if (at.name.empty()) {
        return at.folder->attributes();
    }
    const std::optional<std::vector<DirEntry>> found = at.folder->list(at.name, kAnyEntry);
    if (!found || found->empty() || has_wildcards(at.name)) {
        return std::nullopt;
    }
    return found->front().attributes;
}

bool PathFiles::set_attributes(TextView path, uint32_t attributes) {
    InFolder at = in_folder(path);
    return at.folder && !at.name.empty() && at.folder->set_attributes(at.name, attributes);
}

bool PathFiles::delete_files(TextView pattern) {
    InFolder at = in_folder(pattern);
    return at.folder && !at.name.empty() && at.folder->delete_files(at.name);
}

std::unique_ptr<Folder> PathFiles::open_folder(TextView path) {
    return reach_folder(files_, log_, path).folder;
}

std::unique_ptr<File> PathFiles::open_file(TextView path, FileMode mode) {
    InFolder at = in_folder(path);
    if (!at.folder || at.name.empty()) {
        return nullptr;
    }
    return at.folder->open_file(at.name, mode);
}

MadeFolder PathFiles::make_private_directory(TextView path, PrivateAccess access) {
    InFolder at = in_folder(path);
    if (!at.folder || !is_entry_name(at.name)) {
        return {};
    }
    return at.folder->make_private_folder(at.name, access);
}

PrivateFolder PathFiles::private_directory_state(TextView path) {
    InFolder at = in_folder(path);
    if (!at.folder || !is_entry_name(at.name)) {
        return PrivateFolder::Refused;
    }
    const EntryTrust trust = at.folder->trust(at.name);
    if (!trust.exists) {
        return PrivateFolder::Created;
    }
    const std::optional<std::vector<DirEntry>> found = at.folder->list(at.name, kAnyEntry);
    if (!found) {
        return PrivateFolder::Refused;
    }
    const bool folder = !found->empty() && (found->front().attributes & attr::kDirectory) != 0 &&
                        (found->front().attributes & attr::kReparsePoint) == 0;
    return folder && trust.private_folder() ? PrivateFolder::Trusted : PrivateFolder::Untrusted;
}

bool PathFiles::move(TextView from, TextView to) {
    InFolder source = in_folder(from);
    const std::optional<FolderAndName> target = split_folder_and_name(to);
    if (!source.folder || !target || !is_entry_name(source.name) || !is_entry_name(target->name)) {
        return false;
    }
    if (equals_ignore_case(source.folder->path(), target->folder)) {
        return source.folder->move(source.name, *source.folder, target->name);
    }
    const std::unique_ptr<Folder> destination = open_folder(target->folder);
    return destination && source.folder->move(source.name, *destination, target->name);
}

} // namespace pelto::platform
