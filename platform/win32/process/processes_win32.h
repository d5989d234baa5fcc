// Starting a program with a normal, activated window and waiting on its process handle.
#pragma once

#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/win32/security/session_win32.h"

namespace pelto::platform::win32 {

struct Win32StartOptions {
    // Gives the started process rights that let nobody open it by its id (as a program
    // running under another account or protecting itself does): tests show with it that
    // the wait holds on to the handle the start returned.
    bool deny_open_by_id = false;
};

class Win32Processes final : public Processes {
public:
    // `claim` is the session's: what it holds when a program starts is handed on.
    Win32Processes(RunLog& log, const HeldRunClaim& claim, Win32StartOptions options = {})
        : log_(log), claim_(claim), options_(options) {}
    // The program runs in a job of its own, only so that the wait can name in the run
    // log the programs it started that are still running when it has ended (a
    // bootstrapper's second stage, the suite, a tray helper). Nothing waits for them.
    // It is started suspended and given a handle to the run's claim, inheritable in it,
    // before its first instruction: it holds the claim while it runs, and so do the
    // programs it starts with handle inheritance. No other handle of the run reaches it.
    std::unique_ptr<Process> start(TextView path, int show_command,
                                   TextView working_folder) override;
    // Not a program Windows runs (GetBinaryTypeW), or not there.
    std::optional<std::string> cannot_start(TextView path) override;

private:
    RunLog& log_;
    const HeldRunClaim& claim_;
    Win32StartOptions options_;
};

} // namespace pelto::platform::win32
