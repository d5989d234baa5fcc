#include "platform/win32/security/private_folder.h"

#include "platform/win32/files/folder_entries.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/security/security_descriptor.h"
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

// Gives the entry opened as `entry` the rights `rights`. A file keeps its DOS attributes,
// its read-only mark among them, whatever the system makes of the new rights (Wine keeps
// both in the same permission bits).
bool set_rights(HANDLE entry, const BY_HANDLE_FILE_INFORMATION& before,
                PSECURITY_DESCRIPTOR rights) {
    if (!SetKernelObjectSecurity(entry, DACL_SECURITY_INFORMATION, rights)) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION after{};
    if (GetFileInformationByHandle(entry, &after) &&
        ((after.dwFileAttributes ^ before.dwFileAttributes) & FILE_ATTRIBUTE_READONLY) != 0) {
        set_attributes_by_handle(entry, before.dwFileAttributes &
                                            (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    }
    return true;
}

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
        const OpenedEntry opened =
            open_entry(folder, entry.name,
                       READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                           (is_folder ? FILE_LIST_DIRECTORY : 0),
                       is_folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE,
                       is_folder ? kShareFolder : kShareAll);
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
        if (!set_rights(opened.handle.get(), info,
                        is_folder ? rights.folder.get() : rights.file.get())) {
            log_last_error(log, "SetKernelObjectSecurity", entry_path);
            continue;
        }
        if (is_folder) {
            restrict_tree(opened.handle.get(), entry_path, rights, log);
        }
    }
}

// The owner and rights of what `entry` (opened with READ_CONTROL) names, judged; nullopt
// (logged) when the system will not give them.
std::optional<RightsVerdict> read_verdict(HANDLE entry, TextView path, RunLog& log) {
    DWORD error = ERROR_SUCCESS;
    const LocalMemory found = read_owner_and_rights(entry, error);
    if (!found) {
        log_os_failure(log, win32_failure(error, "GetSecurityInfo", path));
        return std::nullopt;
    }
    std::vector<unsigned char> user = run_user();
    return judge_rights(found.get(), rights_reading(), sid_of(user));
}

} // namespace

RightsReading rights_reading() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine ? RightsReading::Wine : RightsReading::Windows;
}

std::string trust_rule(RightsReading reading) {
    if (reading == RightsReading::Wine) {
        return "the Windows rule as Wine reads it: owned by the run's user, nobody else may "
               "change it (Wine keeps rights as Unix permission bits and never protects them)";
    }
    return "the Windows rule: owned by Administrators or SYSTEM, nobody else may change it, "
           "rights protected from inheritance";
}

RightsVerdict judge_rights(PSECURITY_DESCRIPTOR rights, RightsReading reading, PSID run_user) {
    const auto trusted = [&](PSID sid) {
        return IsWellKnownSid(sid, WinLocalSystemSid) ||
               IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               (reading == RightsReading::Wine && run_user != nullptr && EqualSid(sid, run_user));
    };
    RightsVerdict verdict;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    verdict.owned_by_run = GetSecurityDescriptorOwner(rights, &owner, &defaulted) &&
                           owner != nullptr && trusted(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    verdict.protected_rights =
        GetSecurityDescriptorControl(rights, &control, &revision) &&
        (reading == RightsReading::Wine || (control & SE_DACL_PROTECTED) != 0);
    BOOL present = FALSE;
    PACL dacl = nullptr;
    // No rights at all, or a null DACL, let everyone do everything.
    if (!GetSecurityDescriptorDacl(rights, &present, &dacl, &defaulted) || !present ||
        dacl == nullptr) {
        return verdict;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            return verdict;
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
                return verdict;
            }
            continue;
        }
        default:
            return verdict; // nothing known to be harmless
        }
    }
    verdict.others_may_change = false;
    return verdict;
}

bool held_by_administrators(PSECURITY_DESCRIPTOR rights, RightsReading reading, PSID run_user) {
    const RightsVerdict verdict = judge_rights(rights, reading, run_user);
    return verdict.owned_by_run && !verdict.others_may_change && verdict.protected_rights;
}

EntryTrust entry_trust(HANDLE folder, std::wstring_view name, TextView path, RunLog& log) {
    EntryTrust out;
    out.rule = trust_rule(rights_reading());
    const OpenedEntry opened = open_entry(folder, name, READ_CONTROL | FILE_READ_ATTRIBUTES, 0);
    if (!opened.handle) {
        if (!opened.missing()) {
            out.exists = true; // there, but not to be looked at: nothing to trust
            log_os_failure(log, win32_failure(opened.error, "NtCreateFile", path));
        }
        return out;
    }
    out.exists = true;
    if (const std::optional<RightsVerdict> verdict = read_verdict(opened.handle.get(), path, log)) {
        out.owned_by_run = verdict->owned_by_run;
        out.others_may_change = verdict->others_may_change;
        out.protected_rights = verdict->protected_rights;
    }
    return out;
}

namespace {

// Whether the entry held open by `existing` (opened with READ_CONTROL, never through a
// link) is a folder of the run's own: Trusted, Untrusted (a link, a file, a folder others
// made or may change), or Refused when the system will not say (logged).
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
    const std::optional<RightsVerdict> verdict = read_verdict(existing, path, log);
    if (!verdict) {
        return PrivateFolder::Refused;
    }
    return verdict->owned_by_run && !verdict->others_may_change && verdict->protected_rights
               ? PrivateFolder::Trusted
               : PrivateFolder::Untrusted;
}

// The existing entry `name` of `parent`, judged, and when it is the run's own folder, its
// rights set again and held in `out`.
void use_existing(HANDLE parent, std::wstring_view name, TextView path, PrivateAccess access,
                  ACCESS_MASK held_access, const PrivateRights& rights, RunLog& log,
                  MadePrivateFolder& out) {
    // The entry itself is opened, never what a link there names, and everything below is
    // decided on that handle.
    OpenedEntry existing =
        open_entry(parent, name, held_access | READ_CONTROL | WRITE_DAC, 0, kShareFolder);
    if (!existing.handle) {
        log_os_failure(log, win32_failure(existing.error, "NtCreateFile", path));
        // The owner of the run's own folder is Administrators, who may always read and
        // change its rights: what keeps an administrator out is not the run's.
        out.state = existing.error == ERROR_ACCESS_DENIED ? PrivateFolder::Untrusted
                                                          : PrivateFolder::Refused;
        return;
    }
    out.state = judge_existing(existing.handle.get(), path, log);
    if (out.state != PrivateFolder::Trusted) {
        return;
    }
    if (!SetKernelObjectSecurity(existing.handle.get(), DACL_SECURITY_INFORMATION,
                                 rights.folder.get())) {
        log_last_error(log, "SetKernelObjectSecurity", path);
        out.state = PrivateFolder::Refused;
        return;
    }
    if (access == PrivateAccess::AdministratorsOnly) {
        restrict_tree(existing.handle.get(), Text(path), rights, log);
    }
    out.folder = std::move(existing.handle);
}

} // namespace

MadePrivateFolder make_private_folder(HANDLE parent, std::wstring_view name, TextView path,
                                      PrivateAccess access, ACCESS_MASK held_access, RunLog& log) {
    MadePrivateFolder out;
    out.rule = trust_rule(rights_reading());
    const PrivateRights rights(access);
    for (const SddlDescriptor* descriptor : {&rights.created, &rights.folder, &rights.file}) {
        if (!*descriptor) {
            log_os_failure(
                log, win32_failure(descriptor->error(),
                                   "ConvertStringSecurityDescriptorToSecurityDescriptorW", path));
            return out;
        }
    }
    if (!is_entry_name(name)) {
        return out;
    }
    OpenedEntry created =
        create_folder_entry(parent, name, held_access, kShareFolder, rights.created.get());
    if (created.handle) {
        out.state = PrivateFolder::Created;
        out.folder = std::move(created.handle);
        return out;
    }
    if (!created.collision()) {
        log_os_failure(log, win32_failure(created.error, "NtCreateFile", path));
        return out;
    }
    use_existing(parent, name, path, access, held_access, rights, log, out);
    return out;
}

PSECURITY_DESCRIPTOR administrators_only_file_rights() {
    static const SddlDescriptor rights(std::wstring(L"O:BA") + kAdministratorsOnlyFileSddl);
    return rights.get();
}

} // namespace pelto::platform::win32
