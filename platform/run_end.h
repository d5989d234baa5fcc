// How a run ends from deep inside it (the download form, a step of the installation): the
// person is shown why, the run log records it, and the process ends with its exit status.
// What the run decides at its own level it returns instead.
#pragma once

#include "core/text.h"
#include "platform/platform.h"

#include <string_view>

namespace pelto::platform {

// Shows `message` (information icon, the application's caption), writes "run ended (exit
// status N): reason" into the run log and ends the run by throwing ProcessEnd.
[[noreturn]] void end_run(Platform& p, TextView message, int exit_status, std::string_view reason);

} // namespace pelto::platform
