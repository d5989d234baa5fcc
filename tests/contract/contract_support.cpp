#include "tests/contract/contract_machine.h"

namespace pelto::contract {

bool any_line_holds(const std::vector<std::string>& lines, std::string_view part) {
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace pelto::contract
