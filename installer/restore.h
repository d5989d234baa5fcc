// /RESTORE: the settings files kept in a dated folder below C:\펠토사용자설치\보관 go back
// into C:\Pelto_H\bin, each replaced in one step with the attributes it had when it was
// kept. Today's settings files are kept first, in a new dated folder, so that a restore
// can itself be undone. Files of bin that the folder does not hold stay as they are.
// Registry and policy values are not restored: the run keeps no copy of them.
#pragma once

#include "platform/platform.h"

namespace pelto::installer {

// Shown when the restore has put the files back.
inline constexpr TextView kRestoredMessage =
    u"보관된 설정 파일을 C:\\Pelto_H\\bin에 되돌렸습니다. 레지스트리와 정책 값은 되돌리지 "
    u"않습니다.";
// Shown when there is nothing to put back (no kept folder, or not the one named).
inline constexpr TextView kNothingToRestoreMessage = u"되돌릴 보관된 설정 파일이 없습니다.";

// Restores the newest kept folder, or the one named `name` (yyyymmdd-hhmmss[-N]) when it
// is not empty. Returns the exit status: 0 when every file is back, kCompletedWithFaults
// when one could not be put back (named in the run log), kNothingToRestore when there is
// nothing to restore (a message, nothing touched). Raises VB's error 75 when today's
// files cannot be kept first: nothing is replaced then.
int restore_settings(platform::Platform& p, const Text& name);

} // namespace pelto::installer
