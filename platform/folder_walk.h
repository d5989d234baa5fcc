// The one way to a folder, the same on every platform: from the volume's root, one name at
// a time, each opened relative to the folder before it and never through a link. A link
// on the way is followed only when an administrator made it on purpose (C:\Pelto_H moved
// to another drive): the link is owned by the run's owner and nobody else may change it,
// nor any folder it leads through. Any other link stops the walk.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"

#include <memory>

namespace pelto::platform {

// How a walk to a folder ended.
enum class Reach {
    Opened,     // the folder is held open
    Missing,    // a name on the way is not there
    Link,       // a name on the way is a link that is not followed (logged)
    NotAFolder, // a name on the way is a file
    Refused,    // the system refused to open a folder on the way (logged), or the path is
                // not an absolute Windows path
};

struct ReachedFolder {
    Reach outcome = Reach::Refused;
    std::unique_ptr<Folder> folder; // set when Opened
    Text where;                     // the path of the name that stopped the walk
};

// Walks to the folder `path` from its volume's root.
ReachedFolder reach_folder(FileSystem& files, RunLog& log, TextView path);

// The walk's own words for how it ended, for the run log: "C:\Pelto_H\bin is a link".
std::string reach_text(const ReachedFolder& reached);

} // namespace pelto::platform
