// The session on the mapped machine: whoever may write the machine root may run on it, so
// no rights are asked for; the one run is an flock on log/PeltoUserInstall_H.lock below
// the root, which the kernel releases when the process ends, however it ends.
#pragma once

#include "platform/portable/host_files.h"
#include "platform/portable/machine_root.h"
#include "platform/run_log.h"
#include "platform/session.h"

namespace pelto::platform::portable {

class PortableSession final : public Session {
public:
    PortableSession(const MachineRoot& machine, RunLog& log);

    bool elevated() override { return true; }
    // A lock file that cannot be opened at all is logged and the run goes on: it proves
    // no other run, and the log folder it lives in is the run's own.
    bool claim_single_run() override;

private:
    const MachineRoot& machine_;
    RunLog& log_;
    // Open (and locked) for the rest of the process; closed on exec, so that programs
    // the run starts, and what they leave running, never hold the claim.
    UniqueFd lock_;
};

} // namespace pelto::platform::portable
