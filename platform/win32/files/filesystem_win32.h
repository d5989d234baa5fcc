// The machine's volumes on the real file system: a drive's root ("C:\") or a share's
// ("\\host\share\"), held open by its handle, where every walk to a folder begins
// (platform/folder_walk.h); everything below is reached through Win32Folder, one name at a
// time. A call the system refuses is named in the run log with its code; a missing volume
// looked for is no failure.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"
#include "platform/win32/files/mapped_drive.h"
#include "platform/win32/files/replace_file.h"

namespace pelto::platform::win32 {

class Win32FileSystem final : public FileSystem {
public:
    // `drives` (optional): a drive letter the program lacks is reached through the user's
    // saved mapping of that drive. `replace` puts one file in another's place
    // (ReplaceFileW; tests give one that fails as Windows can).
    explicit Win32FileSystem(RunLog& log, MappedDrives* drives = nullptr,
                             ReplaceFileCall replace = ReplaceFileW)
        : log_(log), drives_(drives), replace_(std::move(replace)) {}

    // The volume's root opened with FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT
    // and held without delete sharing; on a letter the program lacks, the root of the
    // network path its saved mapping names, which the folder's path then names too.
    std::unique_ptr<Folder> open_volume(TextView volume) override;
    // GetModuleFileNameW's folder.
    Text program_folder() override;

private:
    RunLog& log_;
    MappedDrives* drives_;
    ReplaceFileCall replace_;
};

} // namespace pelto::platform::win32
