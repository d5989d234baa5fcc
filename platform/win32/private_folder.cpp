#include "platform/win32/private_folder.h"

#include "platform/win32/folder_entries.h"
#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/security_descriptor.h"
#include "platform/win32/wide.h"

#include <string>
#include <vector>

namespace pelto::platform::win32 {

namespace {

// Reading and running what a folder holds, and nothing more.
constexpr ACCESS_MASK kReadAndExecute =
    FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | GENERIC_READ | GENERIC_EXECUTE;

// The user this program runs as, from its token; empty when the system will not say.
std::vector<unsigned char> run_user() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return {};
    }
    const KernelHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    return buffer;
}

PSID sid_of(std::vector<unsigned char>& user) {
    return user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

// The rights a private folder, and what the walk below finds in it, are given.
struct PrivateRights {
    explicit PrivateRights(PrivateAccess access)
        : created(std::wstring(L"O:BA") + (access == PrivateAccess::AdministratorsOnly
                                               ? kAdministratorsOnlyFolderSddl
                                               : kStagingFolderSddl)),
          folder(access == PrivateAccess::AdministratorsOnly ? kAdministratorsOnlyFolderSddl
                                                             : kStagingFolderSddl),
          file(kAdministratorsOnlyFileSddl) {}

    SddlDescriptor created; // a new folder: with its owner
    SddlDescriptor folder;  // an existing folder: its rights only; the owner stays
    SddlDescriptor file;    // a file in a folder for administrators only
};

// Gives everything below the folder open as `folder` the rights of a folder for
// administrators only, each entry opened relative to its folder. Links are left as they
// are and never entered, and so are files with a second name, whose rights are also
// those of the file by that other name. What the system refuses is logged and passed by.
void restrict_tree(HANDLE folder, const Text& path, const PrivateRights& rights, RunLog& log) {
    std::vector<ListedEntry> entries;
    DWORD error = ERROR_SUCCESS;
    if (!list_entries(folder, entries, error)) {
        log_os_failure(log, win32_failure(error, "GetFileInformationByHandleEx", path));
    }
    for (const ListedEntry& entry : entries) {
        if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        const bool is_folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const Text entry_path = path + u"\\" + from_wide(entry.name);
        const OpenedEntry opened = open_entry(
            folder, entry.name,
            READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | (is_folder ? FILE_LIST_DIRECTORY : 0),
            is_folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
        if (!opened.handle) {
            if (!opened.missing() && !opened.wrong_kind()) {
                log_os_failure(log, win32_failure(opened.error, "NtCreateFile", entry_path));
            }
            continue;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(opened.handle.get(), &info)) {
            log_last_error(log, "GetFileInformationByHandle", entry_path);
            continue;
        }
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            (!is_folder && info.nNumberOfLinks != 1)) {
            continue;
        }
        if (!SetKernelObjectSecurity(opened.handle.get(), DACL_SECURITY_INFORMATION,
                                     is_folder ? rights.folder.get() : rights.file.get())) {
            log_last_error(log, "SetKernelObjectSecurity", entry_path);
            continue;
        }
        if (is_folder) {
            restrict_tree(opened.handle.get(), entry_path, rights, log);
        }
    }
}

} // namespace

RightsReading rights_reading() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine ? RightsReading::Wine : RightsReading::Windows;
}

bool held_by_administrators(PSECURITY_DESCRIPTOR rights, RightsReading reading, PSID run_user) {
    const auto trusted = [&](PSID sid) {
        return IsWellKnownSid(sid, WinLocalSystemSid) ||
               IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               (reading == RightsReading::Wine && run_user != nullptr && EqualSid(sid, run_user));
    };
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(rights, &owner, &defaulted) || owner == nullptr ||
        !trusted(owner)) {
        return false;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(rights, &control, &revision) ||
        (reading == RightsReading::Windows && (control & SE_DACL_PROTECTED) == 0)) {
        return false;
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    // No rights at all, or a null DACL, let everyone do everything.
    if (!GetSecurityDescriptorDacl(rights, &present, &dacl, &defaulted) || !present ||
        dacl == nullptr) {
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            return false;
        }
        switch (static_cast<const ACE_HEADER*>(ace)->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            continue; // takes rights away only
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
            // An entry that only new entries inherit counts too: what is made inside
            // would be theirs to change.
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (!trusted(&allowed->SidStart) && (allowed->Mask & ~kReadAndExecute) != 0) {
                return false;
            }
            continue;
        }
        default:
            return false; // nothing known to be harmless
        }
    }
    return true;
}

namespace {

// Whether the folder held open by `existing` (opened with READ_CONTROL, never through a
// link) is the run's own: Trusted, Untrusted (a link, a file, a folder others made or may
// change), or Refused when the system will not say (logged).
PrivateFolder judge_existing(HANDLE existing, TextView path, RunLog& log) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(existing, &info)) {
        log_last_error(log, "GetFileInformationByHandle", path);
        return PrivateFolder::Refused;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return PrivateFolder::Untrusted;
    }
    DWORD error = ERROR_SUCCESS;
    const LocalMemory found = read_owner_and_rights(existing, error);
    if (!found) {
        log_os_failure(log, win32_failure(error, "GetSecurityInfo", path));
        return PrivateFolder::Refused;
    }
    std::vector<unsigned char> user = run_user();
    return held_by_administrators(found.get(), rights_reading(), sid_of(user))
               ? PrivateFolder::Trusted
               : PrivateFolder::Untrusted;
}

} // namespace

PrivateFolder private_folder_state(TextView path, RunLog& log) {
    const FileHandle existing(
        CreateFileW(wide(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!existing) {
        const DWORD code = GetLastError();
        if (is_not_found(code)) {
            return PrivateFolder::Created;
        }
        log_os_failure(log, win32_failure(code, "CreateFileW", path));
        // What keeps an administrator out is not the run's own folder.
        return code == ERROR_ACCESS_DENIED ? PrivateFolder::Untrusted : PrivateFolder::Refused;
    }
    return judge_existing(existing.get(), path, log);
}

PrivateFolder make_private_folder(TextView path, PrivateAccess access, RunLog& log) {
    const std::wstring folder = wide(path);
    const PrivateRights rights(access);
    for (const SddlDescriptor* descriptor : {&rights.created, &rights.folder, &rights.file}) {
        if (!*descriptor) {
            log_os_failure(
                log, win32_failure(descriptor->error(),
                                   "ConvertStringSecurityDescriptorToSecurityDescriptorW", path));
            return PrivateFolder::Refused;
        }
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, rights.created.get(), FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes)) {
        return PrivateFolder::Created;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        log_last_error(log, "CreateDirectoryW", path);
        return PrivateFolder::Refused;
    }

    // Something is there: the folder itself is opened, never what a link there names,
    // and everything below is decided on that handle.
    const FileHandle existing(CreateFileW(
        folder.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!existing) {
        const DWORD code = GetLastError();
        log_os_failure(log, win32_failure(code, "CreateFileW", path));
        // The owner of the run's own folder is Administrators, who may always read and
        // change its rights: what keeps an administrator out is not the run's.
        return code == ERROR_ACCESS_DENIED ? PrivateFolder::Untrusted : PrivateFolder::Refused;
    }
    const PrivateFolder judged = judge_existing(existing.get(), path, log);
    if (judged != PrivateFolder::Trusted) {
        return judged;
    }
    if (!SetKernelObjectSecurity(existing.get(), DACL_SECURITY_INFORMATION, rights.folder.get())) {
        log_last_error(log, "SetKernelObjectSecurity", path);
        return PrivateFolder::Refused;
    }
    if (access == PrivateAccess::AdministratorsOnly) {
        restrict_tree(existing.get(), Text(path), rights, log);
    }
    return PrivateFolder::Trusted;
}

PSECURITY_DESCRIPTOR administrators_only_file_rights() {
    static const SddlDescriptor rights(std::wstring(L"O:BA") + kAdministratorsOnlyFileSddl);
    return rights.get();
}

} // namespace pelto::platform::win32
