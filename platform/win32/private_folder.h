// The run's private folders on Windows: the staging folder, whose programs the elevated
// run starts, and the folder of the kept settings files. The run makes them itself, with
// protected rights and Administrators as their owner, and uses an existing one only when
// its owner and rights show that nobody but an administrator can have made or changed it.
// It never takes a folder over: that would keep every entry someone planted in it, and
// every handle someone opened on it before.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"

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

// The rule by which an existing folder is the run's own: its owner is SYSTEM or
// Administrators, its rights are protected from the parent's, and they grant nobody else
// more than to read and run what it holds (no right to write, delete, or change its
// rights or owner, now or through what new entries inherit). `run_user` is the user the
// program runs as (used by the Wine reading only).
bool held_by_administrators(PSECURITY_DESCRIPTOR rights, RightsReading reading, PSID run_user);

// Makes the folder `path` private with `access` (platform/filesystem.h): created with its
// rights and owner Administrators; an existing folder that holds to the rule above gets
// its rights again (for AdministratorsOnly, those of everything inside it too, each entry
// opened by handle and never through a link); anything else is left exactly as it was.
// Every call the system refuses is logged.
PrivateFolder make_private_folder(TextView path, PrivateAccess access, RunLog& log);

// What make_private_folder would find at `path`, with nothing changed: Created when
// nothing is there.
PrivateFolder private_folder_state(TextView path, RunLog& log);

// The rights of a new file for administrators only (owner Administrators).
PSECURITY_DESCRIPTOR administrators_only_file_rights();

} // namespace pelto::platform::win32
