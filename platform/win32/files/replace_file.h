// The one safe replacement of a file on Windows (Folder::replace_file): the settings file,
// a restored file, a kept copy put back all go through it.
#pragma once

#include "core/text.h"
#include "platform/run_log.h"

#include <cstdint>
#include <functional>
#include <span>
#include <windows.h>

namespace pelto::platform::win32 {

// The call that puts one file in another's place: ReplaceFileW; tests give one that fails
// as Windows can.
using ReplaceFileCall = std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup,
                                           DWORD flags, LPVOID, LPVOID)>;

// Replaces the file `name` of the folder held open as `folder` (whose path is
// `folder_path`; the folder is held without delete sharing, so the path names it) with
// `bytes`, or makes it, then gives it `attributes`. The new bytes go to a file of their own
// beside it, with the old file's rights, which `replace` puts in its place with a backup
// name (see replace_file.cpp for what happens when that fails). A missing file is made by
// moving the new one to its name, never over anything. A folder, a link or a file with a
// second name is never replaced. False (logged) when the new content is not at the name;
// the old file is then where it was, or both contents are named in the run log.
bool replace_in_folder(HANDLE folder, const Text& folder_path, TextView name,
                       std::span<const uint8_t> bytes, uint32_t attributes,
                       const ReplaceFileCall& replace, RunLog& log);

} // namespace pelto::platform::win32
