// The shell copy on the mapped machine, as the shell's with no flags: a progress line
// for long copies, a question before replacing an existing file (asked on the terminal
// handed to it), its own error report, permission bits kept. The system call that fails
// a copy is named in the run log; the status itself is the caller's to log.
#pragma once

#include "platform/portable/machine_root.h"
#include "platform/portable/terminal.h"
#include "platform/run_log.h"
#include "platform/shell_copy.h"

#include <filesystem>
#include <string>
#include <variant>

namespace pelto::platform::portable {

class PortableShellCopy final : public ShellCopy {
public:
    PortableShellCopy(const MachineRoot& machine, RunLog& log, Terminal& terminal);
    int copy_file(const OwnerWindow& owner, TextView source_file, Folder& destination) override;

private:
    // Where a copy goes, once the checks have passed.
    struct Plan {
        std::filesystem::path source; // the file itself, links followed
        int folder = -1;              // the destination folder, held open by the caller
        std::filesystem::path folder_host;
        std::string name;      // the name in the folder: the source's own, or the spelling
                               // of the file it replaces
        Text destination_file; // the copy as a Windows path, for the log
    };
    std::variant<Plan, int> plan(TextView source_file, Folder& destination) const;

    const MachineRoot& machine_;
    RunLog& log_;
    Terminal& terminal_;
};

} // namespace pelto::platform::portable
