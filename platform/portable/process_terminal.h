// The terminal of this process: standard input, prompts on standard output, notes on
// standard error. The program's own (make_platform gives it to the portable machine);
// tests give a terminal of their own instead.
#pragma once

#include "platform/portable/terminal.h"

namespace pelto::platform::portable {

class ProcessTerminal final : public Terminal {
public:
    bool can_answer() const override;
    std::optional<char> read_byte() override;
    std::ostream& screen() override;
    bool screen_shows_colours() const override;
    std::ostream& notes() override;
    std::optional<pid_t> foreground_group() const override;
    void set_foreground_group(pid_t group) override;
};

} // namespace pelto::platform::portable
