// The program after its arguments: the session's checks, then the installation, its plan
// or a restore, and every way they end turned into the process's exit status.
#pragma once

#include "core/error.h"
#include "installer/arguments.h"
#include "platform/platform.h"

#include <functional>

namespace pelto::installer {

// Silent dialogs and unattended copies for /SILENT, the session's checks, then the run
// `options` asks for (mdl시작::Main, run_plan, restore_settings); its exit status.
int run_program(platform::Platform& p, const RunOptions& options);

// Runs `body` (the run or a part of it) to its end and gives the exit status: the one it
// returns, that of a ProcessEnd, or, for an error that reaches it, that of the generic
// error message it shows (report_unhandled_error).
int run_to_end(platform::Platform& p, const std::function<int()>& body);

// The platform's generic error message for an error that reached Main:
// "Run-time error '53':" / blank line / description.
Text generic_error_text(int32_t number, TextView description);

// Shows an error that reached Main as the generic error message (critical icon, the
// application's caption), records it in the run log and gives the exit status to end with.
int report_unhandled_error(platform::Platform& p, const Error& error);

} // namespace pelto::installer
