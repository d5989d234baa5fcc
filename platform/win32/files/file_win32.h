// A file held open for the raw file access of the seam; its handle is closed with it.
#pragma once

#include "platform/filesystem.h"
#include "platform/win32/handles.h"

#include <memory>

namespace pelto::platform::win32 {

std::unique_ptr<File> make_win32_file(FileHandle handle);

} // namespace pelto::platform::win32
