// The run's private folders: the staging folder, whose programs the elevated run starts,
// and the folder of the kept settings files, which hold a server's password. The run
// uses such a folder only when it made it itself: anything else at that path may have
// been prepared by another user of the workstation. Each is reached from the drive's root
// one name at a time (platform/folder_walk.h) and held open while the run works in it.
#pragma once

#include "platform/platform.h"

#include <memory>

namespace pelto::installer {

// Makes `name` in the open folder `parent` a private folder with `access`, ready before
// the run puts anything into it, and gives it back held open. A folder the run made
// before (trusted by the platform's rule, which the run log names) is used, its rights
// set again. Anything else there is never taken over: it is moved aside whole, with all it
// holds, to "<name>.<stamp>" ("-2", "-3" ... when that is taken) in `parent`, which the
// run log names, and a new folder is made. Raises VB's error 75 (path/file access) when
// what is there cannot be moved aside or the new folder cannot be made: the run must then
// stop before it deletes anything.
std::unique_ptr<platform::Folder> prepare_private_folder(platform::Platform& p,
                                                         platform::Folder& parent, TextView name,
                                                         platform::PrivateAccess access,
                                                         TextView stamp);

// Empties the open private folder `folder` of `parent`: every entry but a trusted 보관 (the
// kept settings files) is removed by handle (files and links Kill may delete) or moved
// aside into a new folder "<folder>.<stamp>" of `parent` (folders, and what cannot be
// removed), never deleted through a path. A 보관 that is not the run's own is moved aside
// the same way. Raises VB's error 75 when an entry can be neither removed nor moved aside.
void empty_private_folder(platform::Platform& p, platform::Folder& parent, platform::Folder& folder,
                          TextView stamp);

// The staging folder C:\펠토사용자설치, held for the whole run, and the drive's root that
// holds it.
struct StagingFolder {
    std::unique_ptr<platform::Folder> drive;
    std::unique_ptr<platform::Folder> folder;
};

// Makes the staging folder ready (prepare_private_folder) and empties it
// (empty_private_folder), so that when the run starts a program from it, the folder holds
// only what the run copied. Raises VB's error 75 when the folder cannot be reached (a link
// on the way), made, or emptied: the run must then stop before it deletes anything.
StagingFolder prepare_staging_folder(platform::Platform& p, TextView stamp);

} // namespace pelto::installer
