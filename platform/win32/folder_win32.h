// A folder of the real file system held open by its handle. What it holds is listed by
// the handle and opened relative to it one entry name at a time (folder_entries.h), never
// through a path and never through a link; attributes are read and set, and entries
// deleted, on the handle of what was opened.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"
#include "platform/win32/folder_entries.h"
#include "platform/win32/handles.h"

namespace pelto::platform::win32 {

// The access an open folder is held with: list it, open what it holds, read its
// attributes, and set them when `change_attributes` (not asked for where the system
// would refuse it).
ACCESS_MASK open_folder_access(bool change_attributes);

class Win32Folder final : public Folder {
public:
    // `path` names the folder in the run log only.
    Win32Folder(FileHandle handle, Text path, RunLog& log);

    std::optional<uint32_t> attributes() override;
    bool set_attributes(uint32_t attributes) override;
    std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) override;
    bool set_attributes(TextView name, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    bool remove_link(TextView name) override;
    bool remove_folder(TextView name) override;
    std::unique_ptr<Folder> open_folder(TextView name) override;
    std::unique_ptr<File> open_file(TextView name) override;
    std::unique_ptr<File> create_private_file(TextView name) override;
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override;

private:
    // The entry `name`, opened relative to the folder without following a link; an
    // invalid handle (logged unless nothing of that kind is there) otherwise. When
    // `access` is refused and `if_denied` is given, the entry is opened for that instead.
    FileHandle open(TextView name, ACCESS_MASK access, unsigned long options,
                    unsigned long share = kShareAll, ACCESS_MASK if_denied = 0);
    // Deletes what `entry` (opened with DELETE) names; a refusal is logged.
    bool delete_opened(const FileHandle& entry, TextView name);
    Text path_of(TextView name) const;

    FileHandle handle_;
    Text path_;
    RunLog& log_;
};

} // namespace pelto::platform::win32
