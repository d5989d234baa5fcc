// Why not WritePrivateProfileStringA: the system decodes its arguments, and the whole file
// it rewrites, with the machine's own ANSI code page, and encodes the file back with it.
// Pelto.ini is read by the suite as code page 949 text. On a Korean Windows that is the
// same thing; on a Korean Windows with the "UTF-8 for worldwide language support" switch
// (code page 65001), or with a Japanese or Chinese code page, the Korean text of the
// template and of the written keys would come back as replacement characters. (A Western
// code page such as 1252 happens to keep every byte, which is why tests on such a machine
// alone would not show it.) WritePrivateProfileStringW writes an existing ANSI file in the
// machine's code page too. So the file's bytes are edited here by the same rules the
// system follows, in code page 949 whatever the machine's code page, and the file is
// replaced in one step, as on the Linux machine.
#include "platform/win32/profiles_win32.h"

#include "platform/codepage.h"
#include "platform/profile_rules.h"
#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"

#include <limits>
#include <optional>
#include <string>
#include <windows.h>

namespace pelto::platform::win32 {

namespace {

// Larger files are not profile files the suite writes; they are left alone.
constexpr LONGLONG kLargestProfileFile = 16LL * 1024 * 1024;

bool is_full_path(TextView file) {
    const bool drive = file.size() >= 3 && file[1] == u':' && (file[2] == u'\\' || file[2] == u'/');
    const bool share = file.size() >= 2 && (file[0] == u'\\' || file[0] == u'/') &&
                       (file[1] == u'\\' || file[1] == u'/');
    return drive || share;
}

std::wstring windows_folder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : L"C:\\Windows";
}

std::wstring host_path(TextView file) {
    if (is_full_path(file)) {
        return wide(file);
    }
    return windows_folder() + L"\\" + wide(file);
}

std::wstring folder_of(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The system call that refused, and its status.
struct Refusal {
    const char* call = nullptr;
    DWORD code = ERROR_SUCCESS;
};

// Notes the call that has just failed: GetLastError() still holds its reason.
void refused(Refusal& refusal, const char* call) {
    refusal = Refusal{call, GetLastError()};
}

// The settings file's bytes, read through a handle of the file itself: a link in its place
// or a second name of it would make the run read, and then replace, some other file.
// nullopt with the refusal, or with `why` when the file is not one the run may write.
std::optional<std::string> read_file(const std::wstring& path, Refusal& refusal, std::string& why) {
    const FileHandle file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        refused(refusal, "CreateFileW");
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) {
        refused(refusal, "GetFileInformationByHandle");
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        why = "the file is a link";
        return std::nullopt;
    }
    if (info.nNumberOfLinks != 1) {
        why = "the file has a second name (a hard link)";
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        refused(refusal, "GetFileSizeEx");
        return std::nullopt;
    }
    if (size.QuadPart > kLargestProfileFile) {
        refusal = Refusal{"GetFileSizeEx", ERROR_FILE_TOO_LARGE};
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t have = 0;
    while (have < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + have, static_cast<DWORD>(bytes.size() - have),
                      &got, nullptr)) {
            refused(refusal, "ReadFile");
            return std::nullopt;
        }
        if (got == 0) {
            break; // the file became shorter meanwhile
        }
        have += got;
    }
    bytes.resize(have);
    return bytes;
}

bool write_new_file(const std::wstring& path, std::string_view bytes, Refusal& refusal) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        refused(refusal, "CreateFileW");
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(
            std::min<size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max()));
        DWORD wrote = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
            refused(refusal, "WriteFile");
            return false;
        }
        done += wrote;
    }
    if (!FlushFileBuffers(file.get())) {
        refused(refusal, "FlushFileBuffers");
        return false;
    }
    return true;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What on-access scanners and indexers cause for a moment right after a file is closed, and
// what left both files at their names.
bool passes_soon(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
           code == ERROR_UNABLE_TO_REMOVE_REPLACED || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

} // namespace

Win32ProfileFiles::Win32ProfileFiles(RunLog& log, ReplaceFileCall replace_file)
    : log_(log), replace_file_(std::move(replace_file)) {}

// The new content goes to a file of its own beside the old one, which it then replaces:
// a reader never sees half a file. ReplaceFileW keeps the replaced file's attributes and
// security, and is given a backup name, so that the old file can always be found:
//  - 1175 (the old file could not be removed), 1176 with the old file still at its name,
//    sharing violations and refused access changed nothing; on-access scanners cause them
//    for a moment after a file is closed, so the call is tried again a few times within
//    about two seconds;
//  - 1176 with the old file gone, and 1177 (the old file left under the backup name): the
//    new file is moved into place, and when even that is refused the old one goes back.
// The temporary file is deleted only while the old file is at its name, and nothing that
// holds the only copy of either content is ever deleted.
bool Win32ProfileFiles::replace(const std::wstring& path, TextView file, std::string_view bytes,
                                bool existed, std::string& why) {
    const std::wstring stem = path + L".pelto-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64());
    const std::wstring temporary = stem + L".new";
    const std::wstring backup = stem + L".old";
    Refusal refusal;
    const auto log_refusal = [&] {
        log_os_failure(log_, win32_failure(refusal.code, refusal.call, file));
        why = describe_win32_error(refusal.code);
    };
    if (!write_new_file(temporary, bytes, refusal)) {
        DeleteFileW(temporary.c_str());
        log_refusal();
        return false;
    }
    if (!existed) {
        if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
            refused(refusal, "MoveFileExW");
            DeleteFileW(temporary.c_str());
            log_refusal();
            return false;
        }
        return true;
    }
    DWORD pause = 100; // milliseconds, doubled after each try: 1.5 s in all
    for (int attempt = 1;; ++attempt) {
        if (replace_file_(path.c_str(), temporary.c_str(), backup.c_str(),
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            DeleteFileW(backup.c_str());
            return true;
        }
        refused(refusal, "ReplaceFileW");
        if (!exists(path) || !passes_soon(refusal.code) || attempt == kReplaceAttempts) {
            break;
        }
        Sleep(pause);
        pause *= 2;
    }
    log_refusal();
    if (exists(path)) {
        // Nothing was replaced: the old file is where it was.
        DeleteFileW(temporary.c_str());
        return false;
    }
    // The old file is gone from its name: under the backup name, or nowhere.
    if (MoveFileExW(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        log_.write("profile: the new " + to_utf8(file) + " was moved into place");
        DeleteFileW(backup.c_str());
        return true;
    }
    refused(refusal, "MoveFileExW");
    log_refusal();
    if (MoveFileExW(backup.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
        log_.write("profile: the old " + to_utf8(file) + " was put back");
        DeleteFileW(temporary.c_str());
    } else {
        log_.write("profile: " + to_utf8(file) + " is missing: the old content is in " +
                   to_utf8(from_wide(backup)) + ", the new in " + to_utf8(from_wide(temporary)));
    }
    return false;
}

bool Win32ProfileFiles::write_private_profile_strings(TextView section,
                                                      std::span<const ProfileEntry> entries,
                                                      TextView file) {
    const auto refuse = [&](const std::string& why) {
        log_.write(profile_not_written(section, entries, file, why));
        return false;
    };
    const std::wstring path = host_path(file);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return refuse("not a file");
    }
    if (existed && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return refuse("the file is read-only");
    }
    if (!existed) {
        const DWORD folder = GetFileAttributesW(folder_of(path).c_str());
        if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return refuse("the folder is missing");
        }
    }
    std::optional<std::string> bytes;
    if (existed) {
        Refusal refusal;
        std::string why;
        bytes = read_file(path, refusal, why);
        if (!bytes && !why.empty()) {
            return refuse(why);
        }
        if (!bytes) {
            // A call the system refused is named in its own line, as every service names it.
            log_os_failure(log_, win32_failure(refusal.code, refusal.call, file));
            return refuse("cannot read it: " + describe_win32_error(refusal.code));
        }
    }
    const ProfileEdit edit = edit_profile(bytes, section, entries);
    if (!edit.refusal.empty()) {
        return refuse(edit.refusal);
    }
    if (!edit.bytes) {
        return true;
    }
    std::string why;
    if (!replace(path, file, *edit.bytes, existed, why)) {
        return refuse(why);
    }
    return true;
}

} // namespace pelto::platform::win32
