// The session on the mapped machine: whoever may write the machine root may run on it, so
// no rights are asked for; the one run is an flock on log/PeltoUserInstall_H.lock below
// the root (platform/portable/run_lock.h), which the kernel releases when the last process
// holding it ends, however it ends.
#pragma once

#include "platform/portable/host_files.h"
#include "platform/portable/machine_root.h"
#include "platform/run_log.h"
#include "platform/session.h"

namespace pelto::platform::portable {

// The machine's one run as this process holds it: the locked lock file. The session fills
// it when its claim succeeds; every program the run starts inherits this one descriptor
// (PortableProcesses), and what those programs start inherits it from them, so the claim
// lasts while any of them runs. It is close-on-exec in this process: nothing else the
// process runs ever holds it.
struct HeldRunClaim {
    UniqueFd lock;
};

class PortableSession final : public Session {
public:
    PortableSession(const MachineRoot& machine, RunLog& log, HeldRunClaim& claim);

    bool elevated() override { return true; }
    uint32_t process_id() const override;
    // A lock file that cannot be had at all is logged and the run goes on: it proves no
    // other run. The holder writes "PID START" into the file once it holds the lock (START:
    // the process's start time in clock ticks after boot, as /proc gives it), so that a
    // refused run can name it and tell whether it still runs.
    SingleRunClaim claim_single_run() override;

private:
    const MachineRoot& machine_;
    RunLog& log_;
    HeldRunClaim& claim_;
};

} // namespace pelto::platform::portable
