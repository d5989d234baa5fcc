// The run's private folders on Windows: the staging folder, whose programs the elevated
// run starts, and the folder of the kept settings files. The run makes them itself, with
// protected rights and Administrators as their owner, and uses an existing one only when
// its owner and rights show that nobody but an administrator can have made or changed it.
// It never takes a folder over: that would keep every entry someone planted in it, and
// every handle someone opened on it before. Everything here is done relative to the open
// parent folder, one entry name at a time, never through a link.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"
#include "platform/win32/handles.h"

#include <string>
#include <string_view>
#include <windows.h>

namespace pelto::platform::win32 {

// The staging folder's rights: SYSTEM and Administrators full control, Users read and
// execute, nothing inherited from the parent (C:\ lets authenticated users change what
// they create in new subfolders). What is made inside inherits them.
constexpr const wchar_t* kStagingFolderSddl =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// The kept settings files' folder, which hold a server's password: SYSTEM and
// Administrators only.
constexpr const wchar_t* kAdministratorsOnlyFolderSddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// A file for administrators only.
constexpr const wchar_t* kAdministratorsOnlyFileSddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// How the owner and rights the system reads back are to be taken.
enum class RightsReading {
    // As NTFS keeps them.
    Windows,
    // Wine keeps a file's rights as its Unix permission bits: it reads every file of the
    // Unix user it runs as back as owned by the program's own user, with rights for that
    // user, and never as protected. There the owner may be the run's user and the
    // protection is not asked for; the rest of the rule holds as on Windows.
    Wine,
};
// Wine's when the program runs under Wine, whose ntdll exports wine_get_version (the
// system's own ntdll, a KnownDLL no user can replace, never does).
RightsReading rights_reading();

// The rule's name in the run log (EntryTrust::rule) for `reading`.
std::string trust_rule(RightsReading reading);

// What an entry's owner and rights say (EntryTrust): whether its owner is SYSTEM or
// Administrators, whether they grant anyone else more than to read and run what it holds
// (to write, delete, or change its rights or owner, now or through what new entries
// inherit), and whether they are protected from the parent's. `run_user` is the user the
// program runs as (used by the Wine reading only).
struct RightsVerdict {
    bool owned_by_run = false;
    bool others_may_change = true;
    bool protected_rights = false;
};
RightsVerdict judge_rights(PSECURITY_DESCRIPTOR rights, RightsReading reading, PSID run_user);

// The rule by which an existing folder is the run's own: owned by SYSTEM or
// Administrators, nobody else may change it, its rights protected.
bool held_by_administrators(PSECURITY_DESCRIPTOR rights, RightsReading reading, PSID run_user);

// Who owns the entry `name` of the open `folder` and who may change it, read on the entry
// itself (a link is never followed). `path` names the entry in the run log.
EntryTrust entry_trust(HANDLE folder, std::wstring_view name, TextView path, RunLog& log);

// What make_private_folder did, and the folder held open (with `held_access`, shared as
// kShareFolder) when it is the run's.
struct MadePrivateFolder {
    PrivateFolder state = PrivateFolder::Refused;
    FileHandle folder;
    std::string rule;
};

// Makes the entry `name` of the open folder `parent` a private folder with `access`
// (Folder::make_private_folder): created relative to the parent with its rights and owner
// Administrators; an existing folder that holds to the rule above gets its rights again
// (for AdministratorsOnly, those of everything inside it too, each entry opened by handle
// and never through a link, a file's read-only mark kept); anything else is left exactly
// as it was. `path` names it in the run log, where every refused call is written.
MadePrivateFolder make_private_folder(HANDLE parent, std::wstring_view name, TextView path,
                                      PrivateAccess access, ACCESS_MASK held_access, RunLog& log);

// The rights of a new file for administrators only (owner Administrators).
PSECURITY_DESCRIPTOR administrators_only_file_rights();

} // namespace pelto::platform::win32
