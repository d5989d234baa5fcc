// The session a run belongs to: its rights, and the one run a machine allows at a time.
#pragma once

namespace pelto::platform {

// What a run asks of the session it runs in, before it touches anything.
class Session {
public:
    virtual ~Session() = default;
    // Whether this process holds administrator rights (Windows: an elevated token). The
    // mapped machine needs none: always true there.
    virtual bool elevated() = 0;
    // Claims the machine's one run: false when another run holds it. The claim lasts until
    // the process ends and the operating system releases it when the process dies.
    virtual bool claim_single_run() = 0;
};

} // namespace pelto::platform
