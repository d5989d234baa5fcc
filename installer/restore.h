// /RESTORE: the settings files kept in a dated folder below C:\펠토사용자설치\보관 go back
// into C:\Pelto_H\bin, each replaced in one step with the attributes it had when it was
// kept. Every file the restore replaces is kept first, in a new dated folder, so that a
// restore can itself be undone. Files of bin that the folder does not hold stay as they
// are. Registry and policy values are not restored: the run keeps no copy of them.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <vector>

namespace pelto::installer {

// Shown when the restore has put the files back.
inline constexpr TextView kRestoredMessage =
    u"보관된 설정 파일을 C:\\Pelto_H\\bin에 되돌렸습니다. 레지스트리와 정책 값은 되돌리지 "
    u"않습니다.";
// Shown when there is nothing to put back (no kept folder, or not the one named).
inline constexpr TextView kNothingToRestoreMessage = u"되돌릴 보관된 설정 파일이 없습니다.";

// What a restore found below 보관, for the plan that shows it.
struct KeptSetSummary {
    struct File {
        Text name;
        uint64_t size = 0;
    };
    Text folder;             // the set's path
    std::vector<File> files; // what it holds
    std::string skipped;     // why a restore would pass it over; empty when it may be read
};
struct RestoreFindings {
    std::vector<KeptSetSummary> sets; // newest first
    Text source;                      // the set the restore reads; empty when none
};

// Restores the newest kept folder that holds files, or the one named `name`
// (yyyymmdd-hhmmss[-N]) when it is not empty. Only what this program made is read: the
// staging folder and 보관 must hold to the private-folder rule, and each dated folder and
// each file in it must be owned by the run's owner (Windows: Administrators or SYSTEM; the
// mapped machine: the run's user); a set that is not, or is dated later than the run's
// own clock, is passed over with a log line. Returns the exit status: 0 when every file
// is back, kCompletedWithFaults when one could not be put back (named in the run log),
// kNothingToRestore when there is nothing to restore (a message, nothing touched). Raises
// VB's error 75 when today's files cannot be kept first: nothing is replaced then.
// `findings`, when given, receives what was found.
int restore_settings(platform::Platform& p, const Text& name, RestoreFindings* findings = nullptr);

} // namespace pelto::installer
