#include "platform/process.h"

namespace pelto::platform {

std::string left_running_line(std::string_view program, std::span<const LeftRunning> left) {
    std::string line = std::string(program) + " has ended and left running what it started:";
    for (size_t i = 0; i < left.size(); ++i) {
        line +=
            (i == 0 ? " " : ", ") + left[i].name + " (process " + std::to_string(left[i].id) + ")";
    }
    return line;
}

bool asks_for_restart(uint32_t exit_code, uint32_t exit_code_mask) {
    constexpr uint32_t kRebootRequired = 3010;
    constexpr uint32_t kRebootInitiated = 1641;
    return exit_code == (kRebootRequired & exit_code_mask) ||
           exit_code == (kRebootInitiated & exit_code_mask);
}

} // namespace pelto::platform
