// The staging folder whose programs the elevated run starts: a folder only SYSTEM and
// Administrators may change, whoever made it first.
#pragma once

#include "platform/run_log.h"

#include <string>

namespace pelto::platform::win32 {

// The folder's access rights: SYSTEM and Administrators full control, Users read and
// execute, nothing inherited from the parent (C:\ lets authenticated users change what
// they create in new subfolders). Files and folders inside inherit the same rights.
constexpr const wchar_t* kPrivateFolderSddl =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Creates `folder` with the rights above. An existing folder is taken over: its owner
// becomes Administrators and its rights are reset, and so are those of everything inside
// it. False when that is refused, when `folder` names a file, or when it or anything
// inside it is a link or junction or a file with a second name (a hard link), whose
// rights would be those of some other file. A call the system refuses is logged.
bool make_private_folder(const std::wstring& folder, RunLog& log);

} // namespace pelto::platform::win32
