// The session on Windows: an elevated token, and the machine's one run held as the named
// mutex Global\PeltoUserInstall_H, seen from every session of the workstation (a second
// run by the same person, a deployment tool running as SYSTEM, a colleague on Remote
// Desktop).
#pragma once

#include "platform/run_log.h"
#include "platform/session.h"
#include "platform/win32/handles.h"

#include <string>

namespace pelto::platform::win32 {

// The name every run claims.
inline constexpr const wchar_t* kSingleRunMutex = L"Global\\PeltoUserInstall_H";

class Win32Session final : public Session {
public:
    // `mutex_name` is the run's; tests give a name of their own.
    explicit Win32Session(RunLog& log, std::wstring mutex_name = kSingleRunMutex);

    // TokenElevation of the process token: a token UAC filtered (RunAsInvoker, a policy)
    // is not elevated even when its user is an administrator. A token that cannot be asked
    // counts as not elevated.
    bool elevated() override;

    // The mutex is made with an owner and rights that only an administrator can give it
    // (owner Administrators; SYSTEM and Administrators alone may open it). One that exists
    // with such an owner is another run's. Anyone may make a global name first, though: one
    // made by a user without administrator rights (another owner, or rights that shut out
    // administrators) is no run of this program. It may not stop the run: the run logs
    // who made it and goes on without the claim.
    bool claim_single_run() override;

private:
    RunLog& log_;
    std::wstring name_;
    // Held until the process ends; not inherited by the programs the run starts.
    KernelHandle mutex_;
};

} // namespace pelto::platform::win32
