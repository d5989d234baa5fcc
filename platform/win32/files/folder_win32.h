// A folder of the real file system held open by its handle, shared for reading and
// writing but not for deletion: while it is held, nobody may rename, move or delete it, so
// its path keeps naming it for the services that take only a path (the shell copy, a
// program's start, ReplaceFileW). What it holds is listed by the handle and opened
// relative to it one entry name at a time (folder_entries.h), never through a path and
// never through a link; attributes are read and set, rights read, and entries moved and
// deleted, on the handle of what was opened.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"
#include "platform/win32/files/folder_entries.h"
#include "platform/win32/files/replace_file.h"
#include "platform/win32/handles.h"

namespace pelto::platform::win32 {

class Win32Folder final : public Folder {
public:
    // `handle` holds the folder (open_folder_access, kShareFolder); `path` names it, as it
    // was reached; `replace` puts one file in another's place (ReplaceFileW).
    Win32Folder(FileHandle handle, Text path, RunLog& log, ReplaceFileCall replace);

    const Text& path() const override { return path_; }
    std::optional<uint32_t> attributes() override;
    bool set_attributes(uint32_t attributes) override;
    std::optional<std::vector<DirEntry>> list(TextView pattern, uint32_t attribute_filter) override;
    bool set_attributes(TextView name, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    bool remove_link(TextView name) override;
    bool remove_folder(TextView name) override;
    std::unique_ptr<Folder> open_folder(TextView name) override;
    std::unique_ptr<File> open_file(TextView name, FileMode mode) override;
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override;
    std::unique_ptr<File> create_private_file(TextView name) override;
    MadeFolder make_private_folder(TextView name, PrivateAccess access) override;
    EntryTrust trust(TextView name) override;
    bool move(TextView name, Folder& destination, TextView new_name) override;
    std::optional<Text> link_target(TextView name) override;

    HANDLE handle() const { return handle_.get(); }

private:
    // The entry `name`, opened relative to the folder without following a link; an
    // invalid handle (logged unless nothing of that kind is there) otherwise. When
    // `access` is refused and `if_denied` is given, the entry is opened for that instead.
    FileHandle open(TextView name, ACCESS_MASK access, unsigned long options,
                    unsigned long share = kShareAll, ACCESS_MASK if_denied = 0);
    // Deletes what `entry` (opened with DELETE) names; a refusal is logged.
    bool delete_opened(const FileHandle& entry, TextView name);
    std::unique_ptr<File> open_for_writing(TextView name);
    std::unique_ptr<Folder> child(FileHandle handle, TextView name) const;
    Text path_of(TextView name) const;

    FileHandle handle_;
    Text path_;
    RunLog& log_;
    ReplaceFileCall replace_;
};

} // namespace pelto::platform::win32
