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

std::optional<std::string> read_file(const std::wstring& path, Refusal& refusal) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file) {
        refused(refusal, "CreateFileW");
        return std::nullopt;
    }
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

// The new content goes to a file of its own beside the old one, which it then replaces:
// a reader never sees half a file, and a failure leaves the old file as it was.
// ReplaceFileW keeps the replaced file's attributes and security.
bool replace_file(const std::wstring& path, std::string_view bytes, bool exists, Refusal& refusal) {
    const std::wstring temporary = path + L".pelto-" + std::to_wstring(GetCurrentProcessId()) +
                                   L"-" + std::to_wstring(GetTickCount64());
    if (!write_new_file(temporary, bytes, refusal)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    const BOOL replaced =
        exists ? ReplaceFileW(path.c_str(), temporary.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
               : MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        refused(refusal, exists ? "ReplaceFileW" : "MoveFileExW");
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

bool Win32ProfileFiles::write_private_profile_strings(TextView section,
                                                      std::span<const ProfileEntry> entries,
                                                      TextView file) {
    const auto refuse = [&](const std::string& why) {
        // The value is never logged: it may be a password.
        log_.write("profile: " + profile_write_subject(section, entries, file) +
                   " not written: " + why);
        return false;
    };
    const std::wstring path = host_path(file);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return refuse("not a file");
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return refuse("the file is read-only");
    }
    if (!exists) {
        const DWORD folder = GetFileAttributesW(folder_of(path).c_str());
        if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return refuse("the folder is missing");
        }
    }
    // A call the system refused is named in its own line, as every service names it.
    const auto refuse_call = [&](const std::string& what, const Refusal& refusal) {
        log_os_failure(log_, win32_failure(refusal.code, refusal.call, file));
        return refuse(what + describe_win32_error(refusal.code));
    };
    std::optional<std::string> bytes;
    Refusal refusal;
    if (exists) {
        bytes = read_file(path, refusal);
        if (!bytes) {
            return refuse_call("cannot read it: ", refusal);
        }
    }
    const ProfileEdit edit = edit_profile(bytes, section, entries);
    if (!edit.refusal.empty()) {
        return refuse(edit.refusal);
    }
    if (!edit.bytes) {
        return true;
    }
    if (!replace_file(path, *edit.bytes, exists, refusal)) {
        return refuse_call("", refusal);
    }
    return true;
}

} // namespace pelto::platform::win32
