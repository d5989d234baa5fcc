#include "tests/contract/contract_machine.h"

namespace pelto::contract {

std::optional<std::string> SystemMachine::why_the_plan_cannot_show(RealEffect /*effect*/) const {
    return std::nullopt;
}

bool any_line_holds(const std::vector<std::string>& lines, std::string_view part) {
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace pelto::contract
