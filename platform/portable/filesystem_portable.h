// The volumes of the mapped machine: drive_c/ for C:\ and unc/HOST/SHARE/ for \\HOST\SHARE
// below the machine root, each opened without following a link. Everything below a
// volume's root is reached through PortableFolder (folder_portable.h), one name at a time.
// Listings behave as VB's Dir over a Windows volume: names matched without regard to case
// with DOS wildcards, in the order NTFS keeps them (by upper-cased name). Symbolic links
// are reparse points: reported, removed as links, never followed by a deletion.
// Attributes: see dos_attributes.h. A system call that refuses is named in the run log; a
// missing entry looked for is no failure.
#pragma once

#include "platform/dos_name.h"
#include "platform/filesystem.h"
#include "platform/portable/machine_root.h"
#include "platform/run_log.h"

namespace pelto::platform::portable {

class PortableFileSystem final : public FileSystem {
public:
    PortableFileSystem(const MachineRoot& machine, RunLog& log);

    std::unique_ptr<Folder> open_volume(TextView volume) override;
    // PELTO_PROGRAM_FOLDER when set, else "C:\PeltoUserInstall_H".
    Text program_folder() override;

private:
    const MachineRoot& machine_;
    RunLog& log_;
};

using platform::dos_name_matches;
using platform::has_wildcards;

} // namespace pelto::platform::portable
