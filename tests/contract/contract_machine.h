// What every contract test runs on. A test body written against ContractMachine proves
// each machine it is built with: this system's own services (SystemMachine: the portable
// machine on Linux, the Windows services on Windows), and, in the targets built with
// PELTO_CONTRACT_ON_A_PLAN, the same services seen through a plan (OverlayMachine).
#pragma once

#include "tests/contract/system_machine.h"

#include <string>
#include <string_view>
#include <vector>

#ifdef PELTO_CONTRACT_ON_A_PLAN
#include "tests/contract/overlay_machine.h"
#endif

namespace pelto::contract {

#ifdef PELTO_CONTRACT_ON_A_PLAN
using ContractMachine = OverlayMachine;
#else
using ContractMachine = SystemMachine;
#endif

// Whether some line of `lines` holds `part`.
bool any_line_holds(const std::vector<std::string>& lines, std::string_view part);

} // namespace pelto::contract
