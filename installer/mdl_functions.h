// mdl함수: the folder, file and settings-file utilities of the installation run. None
// of them reports a failure to the user; each ignored platform status goes to the run
// log.
#pragma once

#include "platform/folder_walk.h"
#include "platform/platform.h"

#include <memory>
#include <vector>

namespace pelto::mdl함수 {

// Removes a folder with everything in it, depth first: its files (hidden, system and
// read-only ones made normal first), then each subfolder, then the folder itself. True
// when sPath named a folder visible to a directory look-up (not hidden, not system) and
// so did every subfolder visited; False when it named nothing or a file. The result
// does not say whether everything went: a file that cannot be deleted stays with its
// folders, quietly. A symbolic link inside the tree, or sPath itself being one, is
// removed as a link; what it points to is never entered or deleted. Below the folder that
// holds sPath, everything is done relative to opened folders, never through a path: a
// link swapped in after a look-up is never followed.
bool fG_DeleteFolder(platform::Platform& p, Text sPath);

// fG_DeleteFolder's work on the entry `name` of the open folder `parent`: the folder the
// run reached from the drive's root and holds. The result is fG_DeleteFolder's.
bool delete_folder_in(platform::Platform& p, platform::Folder& parent, TextView name);

// C:\Pelto_H\bin, walked to from the drive's root (platform/folder_walk.h).
platform::ReachedFolder reach_bin_folder(platform::Platform& p);

// The entries of the open C:\Pelto_H\bin that sG_DeleteBinIniFiles deletes, in listing order:
// those a directory look-up lists there (neither hidden nor system) whose names end in
// "ini" (lower case, compared exactly), names holding a wildcard left out. A folder of
// such a name is among them: the deletion tries it as a file, and it stays.
// nullopt when the folder cannot be read.
std::optional<std::vector<platform::DirEntry>> bin_ini_entries(platform::Platform& p,
                                                               platform::Folder& bin);

// Deletes the files of "C:\Pelto_H\bin\" whose names end in "ini" (lower case, compared
// exactly); "X.INI" and hidden or system files stay. A missing folder does nothing, and
// so does one that is a link.
void sG_DeleteBinIniFiles(platform::Platform& p);
// sG_DeleteBinIniFiles's work in the open C:\Pelto_H\bin, and what came of it.
struct BinIniDeletion {
    std::vector<Text> deleted;
    // Files the deletion should have removed and the system would not let go (a read-only
    // file, which Kill never deletes, is not among them).
    std::vector<Text> stayed;
    bool unreadable = false; // the folder could not be listed: nothing was deleted
};
BinIniDeletion delete_bin_ini_files(platform::Platform& p, platform::Folder& bin);

// WritePrivateProfileStringA(sSection, sKey, sValue, sFile): True whenever the call was
// made, whatever it achieved (a missing folder writes nothing and still gives True);
// False only when the call itself raised an error.
bool fG_WriteIni(platform::Platform& p, const Text& sSection, const Text& sKey, const Text& sValue,
                 const Text& sFile);

} // namespace pelto::mdl함수
