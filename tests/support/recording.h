// Stand-ins for the parts of the platform that talk to a person: a run log kept in
// memory and dialogs that record what they were asked and answer from a script. Built on
// both platforms, for every suite that gives the code under test a platform of its own.
#pragma once

#include "platform/run_log.h"
#include "platform/ui.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace pelto::testing {

class MemoryRunLog final : public platform::RunLog {
public:
    void write(std::string_view line) override { lines_.emplace_back(line); }
    const std::vector<std::string>& lines() const { return lines_; }
    // Whether some line holds `part`; how many do.
    bool contains(std::string_view part) const { return count(part) > 0; }
    size_t count(std::string_view part) const;
    void clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

class RecordingUserInterface final : public platform::UserInterface {
public:
    struct Message {
        Text text;
        platform::MessageIcon icon;
        Text caption;
    };

    void message_box(TextView text, platform::MessageIcon icon, TextView caption) override;
    // Answers with the next of `answers`; "" (Cancel) once they run out.
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override { pointer.push_back(busy); }
    void show_warning_form(const platform::WarningFormDesign& design) override;
    std::unique_ptr<platform::OwnerWindow> create_hidden_window() override;

    std::deque<Text> answers;
    std::vector<Message> messages;
    std::vector<Text> prompts;
    std::vector<bool> pointer;
    std::vector<Text> warning_forms; // the caption of each warning window shown
    int windows_created = 0;         // hidden owner windows asked for
};

} // namespace pelto::testing
