#include "tests/contract/contract_machine.h"

#include <cstdint>
#include <cstdio>

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

std::string digest(std::string_view bytes) {
    uint64_t hash = 14695981039346656037ULL;
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace pelto::contract
