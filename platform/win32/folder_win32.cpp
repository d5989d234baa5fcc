#include "platform/win32/folder_win32.h"

#include "platform/dos_name.h"
#include "platform/win32/attributes_win32.h"
#include "platform/win32/file_win32.h"
#include "platform/win32/folder_entries.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/private_folder.h"
#include "platform/win32/wide.h"

#include <algorithm>
#include <limits>

namespace pelto::platform::win32 {

namespace {

constexpr DWORD kAnyKind = 0;

// The entries of the open folder that `pattern` names (one name, or DOS wildcards), by
// their long or their short name, without regard to case; "." and ".." left out.
std::vector<DirEntry> matching(HANDLE folder, TextView pattern, const Text& path, RunLog& log) {
    std::vector<ListedEntry> listed;
    DWORD error = ERROR_SUCCESS;
    if (!list_entries(folder, listed, error)) {
        log_os_failure(log, win32_failure(error, "GetFileInformationByHandleEx", path));
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

ACCESS_MASK open_folder_access(bool change_attributes) {
    return FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE |
           (change_attributes ? FILE_WRITE_ATTRIBUTES : 0);
}

Win32Folder::Win32Folder(FileHandle handle, Text path, RunLog& log)
    : handle_(std::move(handle)), path_(std::move(path)), log_(log) {}

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

std::vector<DirEntry> Win32Folder::list(TextView pattern, uint32_t attribute_filter) {
    std::vector<DirEntry> entries = matching(handle_.get(), pattern, path_, log_);
    std::erase_if(entries, [attribute_filter](const DirEntry& e) {
        return !dir_filter_passes(e.attributes, attribute_filter);
    });
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
    if (!set_attributes_by_handle(entry.get(), attributes & kSettableAttributes)) {
        log_last_error(log_, "SetFileInformationByHandle", path_of(name));
        return false;
    }
    return true;
}

bool Win32Folder::delete_files(TextView pattern) {
    return kill_each(matching(handle_.get(), pattern, path_, log_), [&](const DirEntry& e) {
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
    FileHandle opened = open(name, open_folder_access(true), FILE_DIRECTORY_FILE, kShareAll,
                             open_folder_access(false));
    if (!opened) {
        return nullptr;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(opened, path_of(name), log_);
    if (!info || !has(*info, FILE_ATTRIBUTE_DIRECTORY) ||
        has(*info, FILE_ATTRIBUTE_REPARSE_POINT)) {
        return nullptr;
    }
    return std::make_unique<Win32Folder>(std::move(opened), path_of(name), log_);
}

std::unique_ptr<File> Win32Folder::open_file(TextView name) {
    FileHandle opened = open(name, GENERIC_READ, FILE_NON_DIRECTORY_FILE, FILE_SHARE_READ);
    if (!opened) {
        return nullptr;
    }
    // Checked on what was opened: a regular file with one name.
    const std::optional<BY_HANDLE_FILE_INFORMATION> info = look_at(opened, path_of(name), log_);
    if (!info || has(*info, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) ||
        info->nNumberOfLinks != 1) {
        return nullptr;
    }
    return make_win32_file(std::move(opened));
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
    const std::wstring entry = wide(name);
    if (!is_entry_name(entry)) {
        return false;
    }
    // What is there now: a folder is never replaced, and a read-only mark would refuse the
    // replacement, so it goes first (and comes back when the replacement fails). No handle
    // to it stays open: a file held open cannot be replaced.
    std::optional<DWORD> marked; // the attributes to put back
    if (const FileHandle old = open(name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kAnyKind)) {
        const std::optional<BY_HANDLE_FILE_INFORMATION> before = look_at(old, path_of(name), log_);
        if (!before || has(*before, FILE_ATTRIBUTE_DIRECTORY)) {
            return false;
        }
        if (has(*before, FILE_ATTRIBUTE_READONLY) && !has(*before, FILE_ATTRIBUTE_REPARSE_POINT)) {
            marked = before->dwFileAttributes & kSettableAttributes;
            if (!set_attributes_by_handle(old.get(), *marked & ~FILE_ATTRIBUTE_READONLY)) {
                log_last_error(log_, "SetFileInformationByHandle", path_of(name));
                return false;
            }
        }
    }
    const auto put_back = [&] {
        if (marked) {
            if (const FileHandle old = open(name, FILE_WRITE_ATTRIBUTES, kAnyKind)) {
                set_attributes_by_handle(old.get(), *marked);
            }
        }
    };
    // The new bytes go to a file of their own in this folder first.
    const std::wstring temporary = L"." + entry + L".pelto-" +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(GetTickCount64());
    OpenedEntry created = create_replacement_entry(handle_.get(), temporary);
    if (!created.handle) {
        log_os_failure(log_, win32_failure(created.error, "NtCreateFile", path_of(name)));
        put_back();
        return false;
    }
    const HANDLE temp = created.handle.get();
    const auto fail = [&](const char* call) {
        log_last_error(log_, call, path_of(name));
        delete_by_handle(temp);
        put_back();
        return false;
    };
    for (std::span<const uint8_t> rest = bytes; !rest.empty();) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<size_t>(rest.size(), std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!WriteFile(temp, rest.data(), chunk, &written, nullptr) || written == 0) {
            return fail("WriteFile");
        }
        rest = rest.subspan(written);
    }
    if (!FlushFileBuffers(temp)) {
        return fail("FlushFileBuffers");
    }
    if (!set_attributes_by_handle(temp, attributes & kSettableAttributes)) {
        return fail("SetFileInformationByHandle");
    }
    if (!rename_by_handle(temp, handle_.get(), entry)) {
        return fail("SetFileInformationByHandle");
    }
    return true;
}

} // namespace pelto::platform::win32
