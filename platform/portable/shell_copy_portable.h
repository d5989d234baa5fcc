// The shell copy on the mapped machine, as the shell's with no flags: a progress line
// for long copies, a question before replacing an existing file, its own error report,
// permission bits kept.
#pragma once

#include "platform/portable/machine_root.h"
#include "platform/shell_copy.h"

namespace pelto::platform::portable {

class PortableShellCopy final : public ShellCopy {
public:
    explicit PortableShellCopy(const MachineRoot& machine);
    int copy_file(const OwnerWindow& owner, TextView source_file,
                  TextView destination_folder) override;

private:
    const MachineRoot& machine_;
};

} // namespace pelto::platform::portable
