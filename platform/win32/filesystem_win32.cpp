#include "platform/win32/filesystem_win32.h"

#include "platform/win32/attributes_win32.h"
#include "platform/win32/file_win32.h"
#include "platform/win32/folder_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/private_folder.h"
#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

// The folder part of a pattern, its separator kept ("C:\a\*.ini" -> "C:\a\").
std::wstring folder_of(const std::wstring& pattern) {
    const size_t cut = pattern.find_last_of(L"\\/");
    if (cut == std::wstring::npos) {
        // "C:*.ini" names the current folder of drive C:.
        if (pattern.size() >= 2 && pattern[1] == L':') {
            return pattern.substr(0, 2);
        }
        return {};
    }
    return pattern.substr(0, cut + 1);
}

// Calls `visit` for every entry FindFirstFileW/FindNextFileW give for `pattern`. Nothing
// found is an answer; a search the system refuses (an unreachable share, a folder that
// may not be read) is logged under `subject`, the pattern as the caller gave it.
template <typename Visit>
void for_each_entry(RunLog& log, const std::wstring& pattern, TextView subject, Visit&& visit) {
    WIN32_FIND_DATAW data{};
    const FindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find) {
        const DWORD code = GetLastError();
        if (!is_not_found(code) && code != ERROR_NO_MORE_FILES) {
            log_os_failure(log, win32_failure(code, "FindFirstFileW", subject));
        }
        return;
    }
    do {
        visit(data);
    } while (FindNextFileW(find.get(), &data));
    const DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        log_os_failure(log, win32_failure(code, "FindNextFileW", subject));
    }
}

} // namespace

std::wstring Win32FileSystem::readable(TextView path) {
    return drives_ != nullptr ? wide(drives_->resolve(path)) : wide(path);
}

std::vector<DirEntry> Win32FileSystem::list(TextView pattern, uint32_t attribute_filter) {
    std::vector<DirEntry> entries;
    std::wstring query = readable(pattern);
    if (query.empty()) {
        return entries;
    }
    if (query.back() == L'\\' || query.back() == L'/') {
        query += L'*';
    }
    for_each_entry(log_, query, pattern, [&](const WIN32_FIND_DATAW& data) {
        if (dir_filter_passes(data.dwFileAttributes, attribute_filter)) {
            entries.push_back(
                DirEntry{from_wide(data.cFileName), data.dwFileAttributes & kKnownAttributes});
        }
    });
    return entries;
}

std::optional<uint32_t> Win32FileSystem::get_attributes(TextView path) {
    const DWORD attributes = GetFileAttributesW(readable(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (!is_not_found(code)) {
            log_os_failure(log_, win32_failure(code, "GetFileAttributesW", path));
        }
        return std::nullopt;
    }
    return attributes & kKnownAttributes;
}

bool Win32FileSystem::set_attributes(TextView path, uint32_t attributes) {
    DWORD value = attributes & kSettableAttributes;
    if (value == 0) {
        value = FILE_ATTRIBUTE_NORMAL;
    }
    if (!SetFileAttributesW(wide(path).c_str(), value)) {
        log_last_error(log_, "SetFileAttributesW", path);
        return false;
    }
    return true;
}

bool Win32FileSystem::delete_files(TextView pattern) {
    const std::wstring query = wide(pattern);
    const std::wstring folder = folder_of(query);
    bool matched = false;
    bool all_deleted = true;
    for_each_entry(log_, query, pattern, [&](const WIN32_FIND_DATAW& data) {
        const KillAnswer answer = kill_answer(data.dwFileAttributes);
        if (answer == KillAnswer::PassOver) {
            return;
        }
        matched = true;
        if (answer == KillAnswer::Refuse) {
            all_deleted = false;
            return;
        }
        // DeleteFileW removes a symbolic link itself, never its target.
        const std::wstring file = folder + data.cFileName;
        if (!DeleteFileW(file.c_str())) {
            const DWORD code = GetLastError();
            log_os_failure(log_, win32_failure(code, "DeleteFileW", from_wide(file)));
            all_deleted = false;
        }
    });
    return matched && all_deleted;
}

std::unique_ptr<Folder> Win32FileSystem::open_folder(TextView path) {
    const std::wstring folder = wide(path);
    const auto open = [&](bool change_attributes) {
        return FileHandle(CreateFileW(
            folder.c_str(), open_folder_access(change_attributes),
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    };
    FileHandle handle = open(true);
    if (!handle && GetLastError() == ERROR_ACCESS_DENIED) {
        handle = open(false); // listed and worked in, but its own attributes stay
    }
    if (!handle) {
        const DWORD code = GetLastError();
        if (!is_not_found(code)) {
            log_os_failure(log_, win32_failure(code, "CreateFileW", path));
        }
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        log_last_error(log_, "GetFileInformationByHandle", path);
        return nullptr;
    }
    // A file, or a link at the last component, is no folder to work in.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return nullptr;
    }
    return std::make_unique<Win32Folder>(std::move(handle), Text(path), log_);
}

PrivateFolder Win32FileSystem::make_private_directory(TextView path, PrivateAccess access) {
    return make_private_folder(path, access, log_);
}

PrivateFolder Win32FileSystem::private_directory_state(TextView path) {
    return private_folder_state(path, log_);
}

bool Win32FileSystem::move(TextView from, TextView to) {
    // The entry itself is renamed (a link as a link), and never onto something that exists.
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0)) {
        log_last_error(log_, "MoveFileExW", from);
        return false;
    }
    return true;
}

std::unique_ptr<File> Win32FileSystem::open_file(TextView path, FileMode mode) {
    const bool read_only = mode == FileMode::Read;
    const DWORD access = read_only ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = read_only ? FILE_SHARE_READ : 0;
    // VB's Open ... For Binary: an existing file keeps its bytes, a missing one is created.
    const DWORD disposition = read_only ? OPEN_EXISTING : OPEN_ALWAYS;
    // Windows refuses to write a read-only file; said here too, so that no account's rights
    // (Wine run as root ignores the mark) can make the answer differ.
    const std::wstring name = readable(path);
    if (!read_only) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
    }
    FileHandle handle(CreateFileW(name.c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        // A file looked for that is not there is an answer; any other refusal is not.
        const DWORD code = GetLastError();
        if (!read_only || !is_not_found(code)) {
            log_os_failure(log_, win32_failure(code, "CreateFileW", path));
        }
        return nullptr;
    }
    return make_win32_file(std::move(handle));
}

Text Win32FileSystem::program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos) {
        return from_wide(path);
    }
    // "C:\setup.exe" lies in "C:\", which keeps its backslash.
    const bool drive_root = cut == 2 && path[1] == L':';
    return from_wide(path.substr(0, drive_root ? cut + 1 : cut));
}

} // namespace pelto::platform::win32
