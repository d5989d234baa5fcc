// Folders, files and attributes on the real file system through kernel32's "W" functions.
#pragma once

#include "platform/filesystem.h"

namespace pelto::platform::win32 {

class Win32FileSystem final : public FileSystem {
public:
    std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) override;
    std::optional<uint32_t> get_attributes(TextView path) override;
    bool set_attributes(TextView path, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    bool remove_link(TextView path) override;
    bool create_directory(TextView path) override;
    bool create_private_directory(TextView path) override;
    bool remove_directory(TextView path) override;
    std::unique_ptr<File> open_file(TextView path, FileMode mode) override;
    Text program_folder() override;
};

// VB's Dir rule: normal files always pass; an entry that is hidden, system or a folder
// passes only when every one of those bits it carries is in the filter.
bool passes_attribute_filter(uint32_t entry_attributes, uint32_t attribute_filter);

} // namespace pelto::platform::win32
