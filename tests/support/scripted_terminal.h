// A terminal of the test's own, so that no test reads or takes over the terminal it was
// started from: what is typed on it, whether it counts as a terminal someone can answer
// on, and what was shown and noted on it. No process group ever holds it.
#pragma once

#include "platform/portable/terminal.h"

#include <sstream>
#include <string>
#include <utility>

namespace pelto::testing {

class ScriptedTerminal final : public platform::portable::Terminal {
public:
    // With `can_answer`, a person sits at it and types `typed`; without, `typed` is what a
    // pipe holds.
    explicit ScriptedTerminal(bool can_answer = false, std::string typed = {})
        : can_answer_(can_answer), typed_(std::move(typed)) {}

    bool can_answer() const override { return can_answer_; }
    std::optional<char> read_byte() override {
        if (read_ == typed_.size()) {
            return std::nullopt;
        }
        return typed_[read_++];
    }
    std::ostream& screen() override { return screen_; }
    bool screen_shows_colours() const override { return false; }
    std::ostream& notes() override { return notes_; }
    std::optional<pid_t> foreground_group() const override { return std::nullopt; }
    void set_foreground_group(pid_t /*group*/) override {}

    std::string shown() const { return screen_.str(); }
    std::string noted() const { return notes_.str(); }
    // What was typed and is still unread, for the programs the run starts later.
    std::string unread() const { return typed_.substr(read_); }

private:
    bool can_answer_;
    std::string typed_;
    size_t read_ = 0;
    std::ostringstream screen_;
    std::ostringstream notes_;
};

} // namespace pelto::testing
