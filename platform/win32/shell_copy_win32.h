// The shell's copy through shell32's SHFileOperationW, paths as UTF-16.
#pragma once

#include "platform/shell_copy.h"

namespace pelto::platform::win32 {

class Win32ShellCopy final : public ShellCopy {
public:
    int copy_file(const OwnerWindow& owner, TextView source_file,
                  TextView destination_folder) override;
};

} // namespace pelto::platform::win32
