// Keeps the settings files that the run is about to delete or replace. Before the
// ini files of C:\Pelto_H\bin go, and before the template replaces Pelto.ini, they are
// copied byte for byte into a dated folder below the staging folder
// (C:\펠토사용자설치\보관\yyyymmdd-hhmmss); only the newest dated folders and the oldest
// one are kept. Pelto.ini holds the institution server's password: 보관 and everything in
// it may be read by administrators only.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <vector>

namespace pelto::installer {

// The newest dated folders kept, the one just made included; the oldest one is kept as
// well.
inline constexpr size_t kKeptFolders = 5;

// "yyyymmdd-hhmmss" of a moment in local time: the name of that moment's dated folder.
Text folder_stamp(const platform::LocalTime& moment);

// Copies the files that mdl함수::sG_DeleteBinIniFiles will delete (folders, read-only
// files and links among them stay where they are, so they are not copied) and Pelto.ini,
// which the template's copy replaces, into a new folder C:\펠토사용자설치\보관\<stamp>, with "-2",
// "-3" ... after the stamp when that name is taken, then removes the oldest dated folders
// beyond kKeptFolders (never the new one, never the oldest). Only regular files with one
// name are read, through the open program folder. The staging folder and 보관 are made
// ready first (installer::prepare_private_folder). Returns the new folder's path, or "" when there
// was nothing to keep (and then nothing is created). Raises VB's error 75 (path/file access) when
// the backup folders or a copy cannot be made completely: nothing may be deleted then.
Text keep_settings_files(platform::Platform& p, TextView stamp);

// The names of the dated folders below C:\펠토사용자설치\보관, newest first.
std::vector<Text> kept_folder_names(platform::Platform& p);

} // namespace pelto::installer
