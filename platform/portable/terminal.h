// The terminal the run talks to a person on: the bytes typed there, whether someone sits
// at it who can answer, where prompts and notes go, and which process group holds it.
// The dialogs, the shell copy's question and the programs the run waits for reach the
// terminal only through this object: the program gives them the terminal of its own
// process (process_terminal.h), a test one of its own.
#pragma once

#include <optional>
#include <ostream>
#include <sys/types.h>

namespace pelto::platform::portable {

class Terminal {
public:
    Terminal() = default;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    virtual ~Terminal() = default;

    // Whether the input is a terminal someone can answer on (not a pipe or a file).
    virtual bool can_answer() const = 0;
    // The next byte of input; nullopt at its end (an unreadable input counts alike).
    // Never more than the one byte: the programs the run starts read on from there.
    virtual std::optional<char> read_byte() = 0;

    // Where prompts and dialogs are shown, and whether colours show there.
    virtual std::ostream& screen() = 0;
    virtual bool screen_shows_colours() const = 0;
    // Where the notes go that say an answer was taken without asking.
    virtual std::ostream& notes() = 0;

    // The process group the terminal gives its input to; nullopt where the input is no
    // terminal.
    virtual std::optional<pid_t> foreground_group() const = 0;
    // Gives the terminal's input to the process group `group`.
    virtual void set_foreground_group(pid_t group) = 0;
};

} // namespace pelto::platform::portable
