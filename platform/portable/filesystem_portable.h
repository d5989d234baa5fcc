// Folders, files and DOS attributes of the mapped machine. Listings behave as VB's Dir
// over a Windows volume: names matched without regard to case with DOS wildcards, "."
// and ".." first in a folder below the volume root, then the entries in the order NTFS
// keeps them (by upper-cased name). Symbolic links are reparse points: reported, removed
// as links, never followed by a deletion. Attributes: see dos_attributes.h. A system call
// that refuses is named in the run log; a missing entry looked for is no failure.
#pragma once

#include "platform/dos_name.h"
#include "platform/filesystem.h"
#include "platform/portable/machine_root.h"
#include "platform/run_log.h"

namespace pelto::platform::portable {

class PortableFileSystem final : public FileSystem {
public:
    PortableFileSystem(const MachineRoot& machine, RunLog& log);

    std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) override;
    std::optional<uint32_t> get_attributes(TextView path) override;
    bool set_attributes(TextView path, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    std::unique_ptr<Folder> open_folder(TextView path) override;
    PrivateFolder make_private_directory(TextView path, PrivateAccess access) override;
    PrivateFolder private_directory_state(TextView path) override;
    bool move(TextView from, TextView to) override;
    std::unique_ptr<File> open_file(TextView path, FileMode mode) override;
    // PELTO_PROGRAM_FOLDER when set, else "C:\PeltoUserInstall_H".
    Text program_folder() override;

private:
    const MachineRoot& machine_;
    RunLog& log_;
};

using platform::dos_name_matches;
using platform::has_wildcards;

} // namespace pelto::platform::portable
