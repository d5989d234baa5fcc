#include "platform/win32/private_folder.h"

#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"

// sddl.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

namespace pelto::platform::win32 {

namespace {

// Rights for a file inside the folder: the folder's, without the inheritance flags.
constexpr const wchar_t* kPrivateFileSddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

struct LocalMemoryTraits {
    static HLOCAL invalid() { return nullptr; }
    static void close(HLOCAL h) { ::LocalFree(h); }
};
using LocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

// A security descriptor built from SDDL text.
class Descriptor {
public:
    explicit Descriptor(const std::wstring& text) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                 &descriptor, nullptr)) {
            memory_.reset(descriptor);
        } else {
            error_ = GetLastError();
        }
    }
    PSECURITY_DESCRIPTOR get() const { return memory_.get(); }
    explicit operator bool() const { return memory_.valid(); }
    DWORD error() const { return error_; }

private:
    LocalMemory memory_;
    DWORD error_ = ERROR_SUCCESS;
};

// Taking over a folder that someone else owns and that denies us access needs these two
// privileges, which an administrator holds but which are off until asked for.
void enable_takeover_privileges() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
        return;
    }
    const KernelHandle token(raw);
    for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
        }
    }
}

// Opens the entry itself, never what a link names, with the rights to change its owner
// and access rights (granted by the privileges above when its own rights deny them).
FileHandle open_for_takeover(const std::wstring& path) {
    return FileHandle(
        CreateFileW(path.c_str(), WRITE_OWNER | WRITE_DAC | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Owner first: once Administrators own the entry, its access rights can always be set.
// The descriptor's own "protected" mark ("D:P") keeps the parent's rights from being
// inherited again.
bool take_over(HANDLE entry, const Descriptor& rights) {
    return SetKernelObjectSecurity(entry, OWNER_SECURITY_INFORMATION, rights.get()) &&
           SetKernelObjectSecurity(entry, DACL_SECURITY_INFORMATION, rights.get());
}

struct Rights {
    // A new folder gets the creator's default owner, which for an elevated
    // administrator is the Administrators group.
    Descriptor created{kPrivateFolderSddl};
    // A folder or file taken over is given to Administrators.
    Descriptor folder{std::wstring(L"O:BA") + kPrivateFolderSddl};
    Descriptor file{std::wstring(L"O:BA") + kPrivateFileSddl};
};

// Takes over `path` and, for a folder, everything below it. The checks are made on the
// opened handle, so the entry cannot be swapped for a link between check and change.
bool take_over_tree(const std::wstring& path, const Rights& rights, bool must_be_folder,
                    RunLog& log) {
    const auto refused = [&](const char* call) {
        const DWORD code = GetLastError();
        log_os_failure(log, win32_failure(code, call, from_wide(path)));
        return false;
    };
    const FileHandle entry = open_for_takeover(path);
    if (!entry) {
        return refused("CreateFileW");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(entry.get(), &info)) {
        return refused("GetFileInformationByHandle");
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((must_be_folder && !folder) || (!folder && info.nNumberOfLinks > 1)) {
        return false;
    }
    if (!take_over(entry.get(), folder ? rights.folder : rights.file)) {
        return refused("SetKernelObjectSecurity");
    }
    if (!folder) {
        return true;
    }
    WIN32_FIND_DATAW data{};
    const FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (!find) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        return refused("FindFirstFileW");
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (!take_over_tree(path + L"\\" + name, rights, false, log)) {
            return false;
        }
    } while (FindNextFileW(find.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        return refused("FindNextFileW");
    }
    return true;
}

} // namespace

bool make_private_folder(const std::wstring& folder, RunLog& log) {
    const Rights rights;
    for (const Descriptor* descriptor : {&rights.created, &rights.folder, &rights.file}) {
        if (!*descriptor) {
            log_os_failure(log,
                           win32_failure(descriptor->error(),
                                         "ConvertStringSecurityDescriptorToSecurityDescriptorW",
                                         from_wide(folder)));
            return false;
        }
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, rights.created.get(), FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes)) {
        return true;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS) {
        log_os_failure(log, win32_failure(code, "CreateDirectoryW", from_wide(folder)));
        return false;
    }
    // Someone made the folder before this run: what it holds, and who may change it,
    // is theirs until it is taken over.
    enable_takeover_privileges();
    return take_over_tree(folder, rights, true, log);
}

} // namespace pelto::platform::win32
