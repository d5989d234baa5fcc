// The run's private folders: the staging folder, whose programs the elevated run starts,
// and the folder of the kept settings files, which hold a server's password. The run
// uses such a folder only when it made it itself: anything else at that path may have
// been prepared by another user of the workstation.
#pragma once

#include "platform/platform.h"

namespace pelto::installer {

// Makes `path` a private folder with `access`, ready before the run puts anything into
// it. A folder the run made before (trusted by the platform's rule) is used, its rights
// set again. Anything else there is never taken over: it is moved aside whole, with all
// it holds, to "<path>.<stamp>" ("-2", "-3" ... when that is taken), which the run log
// names, and a new folder is made. Raises VB's error 75 (path/file access) when what is
// there cannot be moved aside or the new folder cannot be made: the run must then stop
// before it deletes anything.
void prepare_private_folder(platform::Platform& p, TextView path, platform::PrivateAccess access,
                            TextView stamp);

} // namespace pelto::installer
