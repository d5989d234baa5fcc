// Where a symbolic link or a junction (a mount point) leads, read from the link itself
// (FSCTL_GET_REPARSE_POINT on a handle opened without following it).
#pragma once

#include "core/text.h"

#include <optional>
#include <windows.h>

namespace pelto::platform::win32 {

// The target of the link `entry` (opened with FILE_OPEN_REPARSE_POINT) as an absolute
// Windows path: "\??\C:\x" is "C:\x", "\??\UNC\host\share\x" is "\\host\share\x", a
// relative symbolic link is taken from `folder`, the path of the folder that holds it.
// nullopt for anything else (no link, a volume without a drive letter, a device path),
// with the system's code in `error` when the system refused to say.
std::optional<Text> link_target_of(HANDLE entry, TextView folder, unsigned long& error);

} // namespace pelto::platform::win32
