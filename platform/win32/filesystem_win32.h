// Folders, files and attributes on the real file system through kernel32's "W" functions.
// A call the system refuses is named in the run log with its code; a missing entry
// looked for is no failure.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"
#include "platform/win32/mapped_drive.h"

namespace pelto::platform::win32 {

class Win32FileSystem final : public FileSystem {
public:
    explicit Win32FileSystem(RunLog& log) : log_(log) {}
    // Paths that are read (listed, looked at, opened) on a drive letter the program
    // lacks are taken through the user's saved mapping of that drive.
    Win32FileSystem(RunLog& log, MappedDrives& drives) : log_(log), drives_(&drives) {}

    std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) override;
    std::optional<uint32_t> get_attributes(TextView path) override;
    bool set_attributes(TextView path, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    // The folder opened with FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
    // sharing read, write and delete: others may still rename it, and whatever is done
    // through it is done to the folder that was opened.
    std::unique_ptr<Folder> open_folder(TextView path) override;
    // platform/win32/private_folder.h
    PrivateFolder make_private_directory(TextView path, PrivateAccess access) override;
    PrivateFolder private_directory_state(TextView path) override;
    // MoveFileExW without MOVEFILE_REPLACE_EXISTING.
    bool move(TextView from, TextView to) override;
    std::unique_ptr<File> open_file(TextView path, FileMode mode) override;
    Text program_folder() override;

private:
    std::wstring readable(TextView path);

    RunLog& log_;
    MappedDrives* drives_ = nullptr;
};

} // namespace pelto::platform::win32
