// What a run makes sure of before it touches anything: that it holds administrator rights
// (a run without them would write nothing to HKLM and leave folders that standard users
// own), then that no other run is under way on the machine (two runs would delete and copy
// under each other).
#pragma once

#include "platform/platform.h"

#include <optional>

namespace pelto::installer {

// Whether the run claims the machine's one run. A plan changes and starts nothing, so it
// claims nothing: a real run may go on while a plan waits for its code or shows its window.
enum class Claim { SingleRun, None };

// The message, a log line and the exit status of a run that may not start; nullopt when
// it may. Rights are asked first: a run without them claims nothing. `p.ui` is the run's
// own (under /SILENT the message goes to the log instead).
std::optional<int> check_session(platform::Platform& p, Claim claim);

} // namespace pelto::installer
