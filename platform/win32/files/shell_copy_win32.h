// The shell's copy through shell32's SHFileOperationW, paths as UTF-16.
#pragma once

#include "platform/shell_copy.h"
#include "platform/win32/files/mapped_drive.h"

namespace pelto::platform::win32 {

class Win32ShellCopy final : public ShellCopy {
public:
    Win32ShellCopy() = default;
    // A drive letter the program lacks is taken through the user's saved mapping.
    explicit Win32ShellCopy(MappedDrives& drives) : drives_(&drives) {}

    // The copy goes into `destination`'s path, which names the folder held open: nobody
    // may rename or move it while it is held.
    int copy_file(const OwnerWindow& owner, TextView source_file, Folder& destination) override;

private:
    MappedDrives* drives_ = nullptr;
};

} // namespace pelto::platform::win32
