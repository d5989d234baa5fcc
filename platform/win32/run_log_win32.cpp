#include "platform/win32/run_log_win32.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

constexpr const wchar_t* kLogName = L"PeltoUserInstall_H.log";

bool is_absolute(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
                     (path[1] == L'\\' || path[1] == L'/');
    return drive || unc;
}

std::wstring environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    if (length == 0 || length >= size) {
        return {};
    }
    value.resize(length);
    return value;
}

// The canonical form of an absolute path ("." and ".." resolved, "/" made "\"), at any
// length; empty when the system cannot give it.
std::wstring full_path(const std::wstring& absolute) {
    DWORD size = GetFullPathNameW(absolute.c_str(), 0, nullptr, nullptr);
    for (int tries = 0; size != 0 && tries < 3; ++tries) {
        std::wstring full(size, L'\0');
        const DWORD length = GetFullPathNameW(absolute.c_str(), size, full.data(), nullptr);
        if (length == 0) {
            break;
        }
        if (length < size) {
            full.resize(length);
            return full;
        }
        size = length + 1;
    }
    return {};
}

// Where the folders of a path begin: after "C:\", "\\server\share\", "\\?\C:\" or
// "\\?\UNC\server\share\"; npos for anything else.
size_t root_length(const std::wstring& path) {
    constexpr size_t kNone = std::wstring::npos;
    // "C:\" from `at`.
    const auto drive_root = [&path](size_t at) {
        return path.size() >= at + 3 && path[at + 1] == L':' && path[at + 2] == L'\\' ? at + 3
                                                                                      : kNone;
    };
    // "server\share\" from `at`.
    const auto share_root = [&path](size_t at) {
        const size_t server_end = path.find(L'\\', at);
        const size_t share_end = server_end == kNone ? kNone : path.find(L'\\', server_end + 1);
        return share_end == kNone ? kNone : share_end + 1;
    };
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return share_root(8);
    }
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        return drive_root(4);
    }
    if (path.rfind(L"\\\\", 0) == 0) {
        return share_root(2);
    }
    return drive_root(0);
}

// Makes the folders of `file` that are missing; what cannot be made shows when the file
// is opened.
void make_missing_folders(const std::wstring& file) {
    const size_t root = root_length(file);
    if (root == std::wstring::npos) {
        return;
    }
    for (size_t at = file.find(L'\\', root); at != std::wstring::npos;
         at = file.find(L'\\', at + 1)) {
        const std::wstring folder = file.substr(0, at);
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            CreateDirectoryW(folder.c_str(), nullptr);
        }
    }
}

} // namespace

std::wstring any_length_path(const std::wstring& absolute) {
    if (absolute.size() < MAX_PATH || absolute.rfind(L"\\\\?\\", 0) == 0) {
        return absolute;
    }
    if (absolute.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    }
    return L"\\\\?\\" + absolute;
}

Win32RunLog::Win32RunLog() : Win32RunLog(default_path()) {}

Win32RunLog::Win32RunLog(const std::wstring& path)
    : path_(path.empty() ? path : any_length_path(full_path(path))) {}

std::wstring Win32RunLog::default_path() {
    // Not GetTempPathW: it fails for a folder longer than MAX_PATH on some systems and
    // makes a relative value absolute against the current folder, which is wherever the
    // run was started from.
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        const std::wstring folder = environment(name);
        if (folder.empty()) {
            continue;
        }
        if (!is_absolute(folder)) {
            continue;
        }
        std::wstring full = full_path(folder);
        if (full.empty()) {
            continue;
        }
        if (full.back() != L'\\') {
            full += L'\\';
        }
        return full + kLogName;
    }
    return {};
}

std::optional<std::string> Win32RunLog::open_file() {
    if (path_.empty()) {
        return std::string("no temporary folder: neither TMP, TEMP nor USERPROFILE names an "
                           "absolute path");
    }
    make_missing_folders(path_);
    // Appending only; others may read the log while the run goes on (and a run that may
    // not start still adds its line). The name itself is opened, never what a link names.
    FileHandle file(CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return describe_win32_error(GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) {
        return describe_win32_error(GetLastError());
    }
    const DWORD attributes = information.dwFileAttributes;
    if (std::optional<std::string> refusal = run_log_refusal(
            OpenedLogFile{.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                          .is_regular = GetFileType(file.get()) == FILE_TYPE_DISK &&
                                        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0,
                          .names = information.nNumberOfLinks})) {
        return refusal;
    }
    file_ = std::move(file);
    return std::nullopt;
}

bool Win32RunLog::append(std::string_view record) {
    DWORD written = 0;
    return file_ &&
           WriteFile(file_.get(), record.data(), static_cast<DWORD>(record.size()), &written,
                     nullptr) != FALSE &&
           written == record.size();
}

} // namespace pelto::platform::win32
