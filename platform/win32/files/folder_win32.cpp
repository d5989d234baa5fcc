#include "platform/win32/files/folder_win32.h"

#include "platform/dos_name.h"
#include "platform/win32/files/dos_attributes.h"
#include "platform/win32/files/file_win32.h"
#include "platform/win32/files/folder_entries.h"
#include "platform/win32/files/link_target.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/security/private_folder.h"
#include "platform/win32/wide.h"

#include <algorithm>

namespace pelto::platform::win32 {

namespace {

constexpr DWORD kAnyKind = 0;

// The entries of the open folder that `pattern` names (one name, or DOS wildcards), by
// their long or their short name, without regard to case; "." and ".." left out.
// nullopt (logged) when the folder cannot be read.
std::optional<std::vector<DirEntry>> matching(HANDLE folder, TextView pattern, const Text& path,
                                              RunLog& log) {
    std::vector<ListedEntry> listed;
    DWORD error = ERROR_SUCCESS;
    if (!list_entries(folder, listed, error)) {
        log_os_failure(log, win32_failure(error, "GetFileInformationByHandleEx", path));
        return std::nullopt;
    }
    const bool one_name = !platform::has_wildcards(pattern);
    const auto matches = [&](const std::wstring& name) {
        const Text text = from_wide(name);
        return !text.empty() &&
               (one_name ? equals_ignore_case(pattern, text) : dos_name_matches(pattern, text));
    };
    std::vector<DirEntry> found;
    for (const ListedEntry& entry : listed) {
        if (matches(entry.name) || matches(entry.short_name)) {
            found.push_back(DirEntry{from_wide(entry.name), entry.attributes & kKnownAttributes});
        }
    }
    // One name names one entry: the one spelled exactly so where a folder holds names that
    // differ only in case.
    if (one_name && found.size() > 1) {
        const auto exact = std::find_if(found.begin(), found.end(),
                                        [&](const DirEntry& e) { return e.name == pattern; });
        if (exact != found.end()) {
            DirEntry only = std::move(*exact);
            found.clear();
            found.push_back(std::move(only));
        }
    }
    return found;
}

// What the handle names, or nullopt (logged) when the system will not say.
std::optional<BY_HANDLE_FILE_INFORMATION> look_at(const FileHandle& entry, const Text& path,
                                                  RunLog& log) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(entry.get(), &info)) {
        log_last_error(log, "GetFileInformationByHandle", path);
        return std::nullopt;
    }
    return info;
}

bool has(const BY_HANDLE_FILE_INFORMATION& info, DWORD attribute) {
    return (info.dwFileAttributes & attribute) != 0;
}

} // namespace

Win32Folder::Win32Folder(FileHandle handle, Text path, RunLog& log, ReplaceFileCall replace)
    : handle_(std::move(handle)), path_(std::move(path)), log_(log), replace_(std::move(replace)) {}

std::unique_ptr<Folder> Win32Folder::child(FileHandle handle, TextView name) const {
    return std::make_unique<Win32Folder>(std::move(handle), path_of(name), log_, replace_);
}

Text Win32Folder::path_of(TextView name) const {
    Text path = path_;
    if (!ends_with(path, u"\\")) {
        path += u'\\';
    }
    return path + Text(name);
}

FileHandle Win32Folder::open(TextView name, ACCESS_MASK access, unsigned long options,
                             unsigned long share, ACCESS_MASK if_denied) {
    const std::wstring entry = wide(name);
    if (!is_entry_name(entry)) {
        return {}; // one entry of this folder, nothing else
    }
    OpenedEntry opened = open_entry(handle_.get(), entry, access, options, share);
    if (opened.error == ERROR_ACCESS_DENIED && if_denied != 0) {
        opened = open_entry(handle_.get(), entry, if_denied, options, share);
    }
    if (!opened.handle && !opened.missing() && !opened.wrong_kind()) {
        log_os_failure(log_, win32_failure(opened.error, "NtCreateFile", path_of(name)));
    }
    return std::move(opened.handle);
}

bool Win32Folder::delete_opened(const FileHandle& entry, TextView name) {
    if (!delete_by_handle(entry.get())) {
        log_last_error(log_, "SetFileInformationByHandle", path_of(name));
        return false;
    }
    return true;
}

std::optional<uint32_t> Win32Folder::attributes() {
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(handle_, path_, log_);
    if (!info) {
        return std::nullopt;
    }
    return info->dwFileAttributes & kKnownAttributes;
}

bool Win32Folder::set_attributes(uint32_t attributes) {
    if (!set_attributes_by_handle(handle_.get(), attributes & kSettableAttributes)) {
        log_last_error(log_, "SetFileInformationByHandle", path_);
        return false;
    }
    return true;
}

std::optional<std::vector<DirEntry>> Win32Folder::list(TextView pattern,
                                                       uint32_t attribute_filter) {
    std::optional<std::vector<DirEntry>> entries = matching(handle_.get(), pattern, path_, log_);
    if (entries) {
        std::erase_if(*entries, [attribute_filter](const DirEntry& e) {
            return !dir_filter_passes(e.attributes, attribute_filter);
        });
    }
    return entries;
}

bool Win32Folder::set_attributes(TextView name, uint32_t attributes) {
    const FileHandle entry = open(name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kAnyKind);
    if (!entry) {
        return false;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(entry, path_of(name), log_);
    if (!info || has(*info, FILE_ATTRIBUTE_REPARSE_POINT)) {
        return false; // a link is never changed through
    }
    // A file's attributes belong to the file, not to one of its names: through a second
    // name the run would change another file's.
    if (!has(*info, FILE_ATTRIBUTE_DIRECTORY) && info->nNumberOfLinks > 1) {
        log_.write("SetAttr " + to_utf8(path_of(name)) +
                   " refused: the file has another name, and its attributes are that file's too");
        return false;
    }
    if (!set_attributes_by_handle(entry.get(), attributes & kSettableAttributes)) {
        log_last_error(log_, "SetFileInformationByHandle", path_of(name));
        return false;
    }
    return true;
}

bool Win32Folder::delete_files(TextView pattern) {
    return kill_each(
        matching(handle_.get(), pattern, path_, log_).value_or(std::vector<DirEntry>{}),
        [&](const DirEntry& e) {
            const FileHandle entry =
                open(e.name, DELETE | FILE_READ_ATTRIBUTES, FILE_NON_DIRECTORY_FILE);
            if (!entry) {
                return false;
            }
            // Decided again on what was opened, which may not be what was listed: a link goes
            // as a link, never what it points to.
            const std::optional<BY_HANDLE_FILE_INFORMATION> info =
                look_at(entry, path_of(e.name), log_);
            if (info && has(*info, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
                return true; // not Kill's to delete after all
            }
            return info && !has(*info, FILE_ATTRIBUTE_READONLY) && delete_opened(entry, e.name);
        });
}

bool Win32Folder::remove_link(TextView name) {
    const FileHandle entry = open(name, DELETE | FILE_READ_ATTRIBUTES, kAnyKind);
    if (!entry) {
        return false;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(entry, path_of(name), log_);
    // Opened as the link itself: what goes is the reparse point, never what it names.
    return info && has(*info, FILE_ATTRIBUTE_REPARSE_POINT) && delete_opened(entry, name);
}

bool Win32Folder::remove_folder(TextView name) {
    const FileHandle entry = open(name, DELETE | FILE_READ_ATTRIBUTES, FILE_DIRECTORY_FILE);
    if (!entry) {
        return false;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(entry, path_of(name), log_);
    // Windows refuses to remove a read-only folder; a link is no folder of this one's.
    if (!info || !has(*info, FILE_ATTRIBUTE_DIRECTORY) ||
        has(*info, FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    return delete_opened(entry, name);
}

std::unique_ptr<Folder> Win32Folder::open_folder(TextView name) {
    // Where attributes below it may not be changed, the folder is still opened to be read.
    FileHandle opened = open(name, open_folder_access(true), FILE_DIRECTORY_FILE, kShareFolder,
                             open_folder_access(false));
    if (!opened) {
        return nullptr;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(opened, path_of(name), log_);
    if (!info || !has(*info, FILE_ATTRIBUTE_DIRECTORY) ||
        has(*info, FILE_ATTRIBUTE_REPARSE_POINT)) {
        return nullptr;
    }
    return child(std::move(opened), name);
}

std::unique_ptr<File> Win32Folder::open_file(TextView name, FileMode mode) {
    if (mode == FileMode::ReadWrite) {
        return open_for_writing(name);
    }
    // Held: nobody else may write, rename or delete it while it is open; a program's start
    // still reads it.
    FileHandle opened = open(name, GENERIC_READ, FILE_NON_DIRECTORY_FILE,
                             mode == FileMode::Hold ? FILE_SHARE_READ : kShareAll);
    if (!opened) {
        return nullptr;
    }
    // Checked on what was opened: a regular file, with one name where the mode asks.
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(opened, path_of(name), log_);
    if (!info || has(*info, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) ||
        (mode != FileMode::Read && info->nNumberOfLinks != 1)) {
        return nullptr;
    }
    return make_win32_file(std::move(opened));
}

std::unique_ptr<File> Win32Folder::open_for_writing(TextView name) {
    // Windows refuses to write a read-only file; said here too, so that no account's
    // rights (Wine run as root ignores the mark) can make the answer differ.
    if (const FileHandle old = open(name, FILE_READ_ATTRIBUTES, kAnyKind)) {
        const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(old, path_of(name), log_);
        if (!info || has(*info, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                    FILE_ATTRIBUTE_READONLY)) {
            return nullptr;
        }
    }
    const std::wstring entry = wide(name);
    if (!is_entry_name(entry)) {
        return nullptr;
    }
    // VB's Open ... For Binary: an existing file keeps its bytes, a missing one is created.
    OpenedEntry opened =
        open_or_create_file_entry(handle_.get(), entry, GENERIC_READ | GENERIC_WRITE, 0);
    if (!opened.handle) {
        log_os_failure(log_, win32_failure(opened.error, "NtCreateFile", path_of(name)));
        return nullptr;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info =
        look_at(opened.handle, path_of(name), log_);
    if (!info || has(*info, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        return nullptr;
    }
    return make_win32_file(std::move(opened.handle));
}

std::unique_ptr<File> Win32Folder::create_private_file(TextView name) {
    const std::wstring entry = wide(name);
    const PSECURITY_DESCRIPTOR rights = administrators_only_file_rights();
    if (!is_entry_name(entry) || rights == nullptr) {
        return nullptr;
    }
    OpenedEntry created = create_file_entry(handle_.get(), entry, rights);
    if (!created.handle) {
        log_os_failure(log_, win32_failure(created.error, "NtCreateFile", path_of(name)));
        return nullptr;
    }
    return make_win32_file(std::move(created.handle));
}

bool Win32Folder::replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) {
    return replace_in_folder(handle_.get(), path_, name, bytes, attributes, replace_, log_);
}

MadeFolder Win32Folder::make_private_folder(TextView name, PrivateAccess access) {
    MadePrivateFolder made = win32::make_private_folder(handle_.get(), wide(name), path_of(name),
                                                        access, open_folder_access(true), log_);
    MadeFolder out;
    out.state = made.state;
    out.rule = std::move(made.rule);
    if (made.folder) {
        out.folder = child(std::move(made.folder), name);
    }
    return out;
}

EntryTrust Win32Folder::trust(TextView name) {
    const std::wstring entry = wide(name);
    if (!is_entry_name(entry)) {
        EntryTrust none;
        none.rule = trust_rule(rights_reading());
        return none;
    }
    return entry_trust(handle_.get(), entry, path_of(name), log_);
}

bool Win32Folder::move(TextView name, Folder& destination, TextView new_name) {
    auto* const to = dynamic_cast<Win32Folder*>(&destination.opened());
    const std::wstring target = wide(new_name);
    if (to == nullptr || !is_entry_name(target)) {
        return false;
    }
    // The entry itself moves (a link as a link), relative to both folders, and never onto
    // something that exists.
    const FileHandle entry = open(name, DELETE | FILE_READ_ATTRIBUTES, kAnyKind);
    if (!entry) {
        return false;
    }
    if (!rename_by_handle(entry.get(), to->handle(), target, false)) {
        log_last_error(log_, "NtSetInformationFile", path_of(name));
        return false;
    }
    return true;
}

std::optional<Text> Win32Folder::link_target(TextView name) {
    const FileHandle entry = open(name, FILE_READ_ATTRIBUTES, kAnyKind);
    if (!entry) {
        return std::nullopt;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(entry, path_of(name), log_);
    if (!info || !has(*info, FILE_ATTRIBUTE_REPARSE_POINT)) {
        return std::nullopt;
    }
    unsigned long error = ERROR_SUCCESS;
    std::optional<Text> target = link_target_of(entry.get(), path_, error);
    if (!target && error != ERROR_SUCCESS) {
        log_os_failure(log_, win32_failure(error, "DeviceIoControl", path_of(name)));
    }
    return target;
}

} // namespace pelto::platform::win32
