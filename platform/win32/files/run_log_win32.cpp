#include "platform/win32/files/run_log_win32.h"

#include "platform/win32/files/folder_entries.h"
#include "platform/win32/security/private_folder.h"
#include "platform/win32/security/security_descriptor.h"
#include "platform/win32/wide.h"
#include "platform/windows_path.h"

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

// The rights of a folder the log's path lacks: the staging folder's, owner Administrators,
// protected from what the folder above would pass on (a user's folder, a drive's root that
// users may write). A run without administrator rights cannot give a folder that owner
// (it ends at once, but its log line is still written): its folders are its own.
OpenedEntry make_log_folder(HANDLE folder, const std::wstring& name, ACCESS_MASK access) {
    static const SddlDescriptor owned(std::wstring(L"O:BA") + kStagingFolderSddl);
    static const SddlDescriptor rights(kStagingFolderSddl);
    OpenedEntry made = create_folder_entry(folder, name, access, kShareFolder, owned.get());
    if (made.error == ERROR_INVALID_OWNER) {
        made = create_folder_entry(folder, name, access, kShareFolder, rights.get());
    }
    return made;
}

// The folder `name` of `folder`, made when it is missing; never a link. An invalid
// handle, with the reason in `why`, otherwise.
FileHandle open_or_make_folder(HANDLE folder, const std::wstring& name, const Text& path,
                               std::string& why) {
    constexpr ACCESS_MASK kAccess = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
    OpenedEntry next = open_entry(folder, name, kAccess, FILE_DIRECTORY_FILE, kShareFolder);
    if (next.missing()) {
        next = make_log_folder(folder, name, kAccess);
        if (next.collision()) { // made by someone else meanwhile: looked at as any other
            next = open_entry(folder, name, kAccess, FILE_DIRECTORY_FILE, kShareFolder);
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (next.handle && !GetFileInformationByHandle(next.handle.get(), &info)) {
        next.handle.reset();
        next.error = GetLastError();
    }
    if (!next.handle) {
        why = to_utf8(path) + ": " + describe_win32_error(next.error);
        return {};
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        why = to_utf8(path) + " is a link, which the run log is never written through";
        return {};
    }
    return std::move(next.handle);
}

// The folder that holds the file `log`, reached from its volume's root one name at a time,
// each opened relative to the one before without following a link, and made when it is
// missing. An invalid handle, with the reason in `why`, otherwise.
FileHandle reach_log_folder(const WindowsPath& log, std::string& why) {
    Text root = log.prefix(0);
    if (!ends_with(root, u"\\")) {
        root += u'\\';
    }
    unsigned long error = ERROR_SUCCESS;
    FileHandle folder = open_volume_root(wide(root), FILE_TRAVERSE | SYNCHRONIZE, error);
    if (!folder) {
        why = to_utf8(root) + ": " + describe_win32_error(error);
        return {};
    }
    for (size_t i = 0; i + 1 < log.names.size(); ++i) {
        folder = open_or_make_folder(folder.get(), wide(log.names[i]), log.prefix(i + 1), why);
        if (!folder) {
            return {};
        }
    }
    return folder;
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
    const std::optional<WindowsPath> parsed = parse_windows_path(from_wide(path_));
    if (!parsed || parsed->names.empty()) {
        return std::string("not the path of a file");
    }
    std::string why;
    const FileHandle folder = reach_log_folder(*parsed, why);
    if (!folder) {
        return why;
    }
    // Appending only; others may read the log while the run goes on (and a run that may
    // not start still adds its line). The name itself is opened, never what a link names.
    OpenedEntry opened = open_or_create_file_entry(folder.get(), wide(parsed->names.back()),
                                                   FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!opened.handle) {
        return describe_win32_error(opened.error);
    }
    FileHandle file = std::move(opened.handle);
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
