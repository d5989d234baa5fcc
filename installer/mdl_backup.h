// mdl보관: keeps the settings files that the run is about to delete. Before the ini files
// of C:\Pelto_H\bin go, they are copied byte for byte into a dated folder below the
// staging folder (C:\펠토사용자설치\보관\yyyymmdd-hhmmss), and only the newest dated
// folders are kept. Pelto.ini holds the institution server's password: the staging
// folder's protected access rights cover the copies.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <ctime>

namespace pelto::mdl보관 {

inline constexpr TextView kStagingFolder = u"C:\\펠토사용자설치";
inline constexpr TextView kBackupFolder = u"C:\\펠토사용자설치\\보관";
// Dated folders kept, the one just made included.
inline constexpr size_t kKeptFolders = 5;

// "yyyymmdd-hhmmss" of a moment in local time: the name of that moment's dated folder.
Text fG_Stamp(std::time_t moment);

// Copies the files that mdl함수::sG_DeleteBinIniFiles will delete (folders, read-only
// files and links among them stay where they are, so they are not copied) into a new
// folder kBackupFolder\<stamp>, with "-2", "-3" ... after the stamp when that name is
// taken, then removes the oldest dated folders beyond kKeptFolders (never the new one).
// Returns the new folder's path, or "" when there was nothing to keep (and then nothing
// is created). Raises VB's error 75 (path/file access) when the staging folder, the
// backup folders or a copy cannot be made completely: nothing may be deleted then.
Text fG_KeepBinIniFiles(platform::Platform& p, TextView stamp);

} // namespace pelto::mdl보관
