// The session on Windows: an elevated token, and the machine's one run held as the named
// section Global\PeltoUserInstall_H, seen from every session of the workstation (a second
// run by the same person, a deployment tool running as SYSTEM, a colleague on Remote
// Desktop). The section exists while a handle to it is open: the run's own, and the one
// every program the run starts is given (Win32Processes), which the programs those start
// inherit when they inherit handles. It holds the process id and creation time of the run
// that made it, so that a refused run can name it and tell whether it still runs.
#pragma once

#include "core/text.h"
#include "platform/run_log.h"
#include "platform/session.h"
#include "platform/win32/handles.h"

#include <string>

namespace pelto::platform::win32 {

// The name every run claims. Older versions claimed it as a mutex.
inline constexpr const wchar_t* kSingleRunName = L"Global\\PeltoUserInstall_H";

// The machine's one run as this process holds it: the claim's section. The session fills
// it when its claim succeeds; every program the run starts gets a handle to it. Not
// inheritable in this process: nothing else the process starts ever holds it.
struct HeldRunClaim {
    KernelHandle section;
};

class Win32Session final : public Session {
public:
    // `name` is the run's; tests give a name of their own.
    Win32Session(RunLog& log, HeldRunClaim& claim, std::wstring name = kSingleRunName);

    // TokenElevation of the process token: a token UAC filtered (RunAsInvoker, a policy)
    // is not elevated even when its user is an administrator. A token that cannot be asked
    // counts as not elevated.
    bool elevated() override;
    uint32_t process_id() const override;

    // The section is made with an owner and rights that only an administrator can give it
    // (owner Administrators; SYSTEM and Administrators alone may open it). One that exists
    // with such an owner is another run's, and so is a mutex of that name with such an
    // owner (an older version's run). Anyone may make a global name first, though: an
    // object made by a user without administrator rights (another owner, or rights that
    // shut administrators out) is no run of this program. It may not stop the run: the
    // run logs who made it and goes on without the claim.
    SingleRunClaim claim_single_run() override;

private:
    SingleRunClaim claim_held_by_another_kind(const Text& name);
    void log_not_a_run(const Text& name, const std::string& owner);

    RunLog& log_;
    HeldRunClaim& claim_;
    std::wstring name_;
};

} // namespace pelto::platform::win32
