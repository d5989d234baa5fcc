// The session a run belongs to: its rights, and the one run a machine allows at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace pelto::platform {

// Who holds the machine's one run, as a run whose claim was refused finds it.
struct RunHolder {
    // The process of the run that made the claim; nullopt when the claim does not say (an
    // older version's, or one whose record cannot be read).
    std::optional<uint32_t> process_id;
    // Whether that run's process still runs. When it has ended, a program it started (or
    // one that program started in turn) still holds the claim.
    bool running = false;
};

// The answer to a claim of the machine's one run.
struct SingleRunClaim {
    // The run may go on: it holds the claim, or nothing it found proves another run (a
    // claim that cannot be made at all, which the session logs).
    bool claimed = false;
    RunHolder holder; // who holds it, when not claimed

    static SingleRunClaim granted() { return SingleRunClaim{true, RunHolder{}}; }
    static SingleRunClaim refused(const RunHolder& holder) { return SingleRunClaim{false, holder}; }
};

// What a run asks of the session it runs in, before it touches anything.
class Session {
public:
    virtual ~Session() = default;
    // Whether this process holds administrator rights (Windows: an elevated token). The
    // mapped machine needs none: always true there.
    virtual bool elevated() = 0;
    // This process's id, as the system and the run log name it.
    virtual uint32_t process_id() const = 0;
    // Claims the machine's one run (a run that holds it already is answered yes again).
    // The claim is held by this process and by every program the run starts, and by what
    // those start where they pass it on: the system releases it when the last of them
    // ends, however it ends. So no run starts while an earlier run's programs are still
    // at work, even when that run itself was killed.
    virtual SingleRunClaim claim_single_run() = 0;
};

} // namespace pelto::platform
