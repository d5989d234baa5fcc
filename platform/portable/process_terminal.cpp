// The terminal of this process (see process_terminal.h).
#include "platform/portable/process_terminal.h"

#include <cerrno>
#include <csignal>
#include <iostream>
#include <pthread.h>
#include <unistd.h>

namespace pelto::platform::portable {

bool ProcessTerminal::can_answer() const {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<char> ProcessTerminal::read_byte() {
    while (true) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        return c;
    }
}

std::ostream& ProcessTerminal::screen() {
    return std::cout;
}

bool ProcessTerminal::screen_shows_colours() const {
    return ::isatty(STDOUT_FILENO) == 1;
}

std::ostream& ProcessTerminal::notes() {
    return std::cerr;
}

std::optional<pid_t> ProcessTerminal::foreground_group() const {
    if (::isatty(STDIN_FILENO) == 0) {
        return std::nullopt;
    }
    const pid_t group = ::tcgetpgrp(STDIN_FILENO);
    return group < 0 ? std::nullopt : std::optional<pid_t>(group);
}

// A process outside the terminal's foreground group that sets it is sent SIGTTOU; the
// run does so on purpose when it takes the terminal back from a program it started.
void ProcessTerminal::set_foreground_group(pid_t group) {
    sigset_t block{};
    sigset_t old{};
    sigemptyset(&block);
    sigaddset(&block, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    (void)::tcsetpgrp(STDIN_FILENO, group);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

} // namespace pelto::platform::portable
