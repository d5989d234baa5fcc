// Programs of the mapped machine are ordinary executables (a script with a shebang is
// fine), started with their Windows path and waited for with waitpid. Each starts in a
// process group of its own, so that the wait can name in the run log the programs it
// started that are still running when it has ended; nothing waits for those. At a
// terminal (the one handed to the processes), the program's group holds it while the run
// waits. Each inherits the run's claim of the machine's one run, once the run holds it:
// that one descriptor, and no other the run has open.
#pragma once

#include "platform/portable/machine_root.h"
#include "platform/portable/session_portable.h"
#include "platform/portable/terminal.h"
#include "platform/process.h"
#include "platform/run_log.h"

namespace pelto::platform::portable {

class PortableProcesses final : public Processes {
public:
    // `claim` is the session's: what it holds when a program starts is passed on.
    PortableProcesses(const MachineRoot& machine, RunLog& log, Terminal& terminal,
                      const HeldRunClaim& claim);
    std::unique_ptr<Process> start(TextView path, int show_command,
                                   TextView working_folder) override;
    // Not executable, or neither a program of this system nor a script whose interpreter
    // can be run.
    std::optional<std::string> cannot_start(TextView path) override;
    // A process here ends with an 8-bit status.
    uint32_t exit_code_mask() const override { return 0xFFU; }

private:
    const MachineRoot& machine_;
    RunLog& log_;
    Terminal& terminal_;
    const HeldRunClaim& claim_;
};

} // namespace pelto::platform::portable
