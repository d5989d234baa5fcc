// Keeps the settings files that the run is about to delete or replace. Before the
// ini files of C:\Pelto_H\bin go, and before the template replaces Pelto.ini, they are
// copied byte for byte into a dated folder below the staging folder
// (C:\펠토사용자설치\보관\yyyymmdd-hhmmss); only the newest dated folders and the oldest
// one are kept. Pelto.ini holds the institution server's password: 보관 and everything in
// it may be read by administrators only.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <span>
#include <vector>

namespace pelto::installer {

// The newest dated folders kept, the one just made included; the oldest one is kept as
// well.
inline constexpr size_t kKeptFolders = 5;

// "yyyymmdd-hhmmss" of a moment in local time: the name of that moment's dated folder.
Text folder_stamp(const platform::LocalTime& moment);

// Copies the files that mdl함수::sG_DeleteBinIniFiles will delete from the open
// C:\Pelto_H\bin (folders, read-only files and links among them stay where they are, so they
// are not copied), Pelto.ini, which the template's copy replaces, and the files named in
// `also` whatever their attributes (what a restore is about to replace), into a new folder
// 보관\<stamp> of the open staging folder, with "-2", "-3" ... after the stamp when that name
// is taken, then removes the oldest dated folders beyond kKeptFolders (never the new one,
// never the oldest, never `protect`). Only regular files with one name are read, through
// the open folder. 보관 is made ready first (installer::prepare_private_folder). Returns the
// new folder's path, or "" when there was nothing to keep (and then nothing is created).
// Raises VB's error 75 (path/file access) when the backup folders or a copy cannot be made
// completely: nothing may be deleted then.
Text keep_settings_files(platform::Platform& p, platform::Folder& staging, platform::Folder* bin,
                         TextView stamp, std::span<const Text> also = {},
                         TextView protect = TextView());

// The same, for a run that holds neither folder yet: the staging folder is walked to and
// made ready (not emptied), C:\Pelto_H\bin walked to.
Text keep_settings_files(platform::Platform& p, TextView stamp);

// A dated folder below 보관: "yyyymmdd-hhmmss" or "yyyymmdd-hhmmss-N".
struct KeptSet {
    Text name;
    Text stamp;           // its yyyymmdd-hhmmss
    unsigned long suffix; // N, or 1
};

// The dated folders of the open 보관, newest first (by stamp, then suffix).
std::vector<KeptSet> kept_sets(platform::Folder& kept);

} // namespace pelto::installer
