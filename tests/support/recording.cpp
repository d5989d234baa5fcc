#include "tests/support/recording.h"

#include "platform/shell_copy.h"

#include <algorithm>

namespace pelto::testing {

namespace {

class NoWindow final : public platform::OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};

} // namespace

size_t MemoryRunLog::count(std::string_view part) const {
    return static_cast<size_t>(
        std::count_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
            return line.find(part) != std::string::npos;
        }));
}

void RecordingUserInterface::message_box(TextView text, platform::MessageIcon icon,
                                         TextView caption) {
    messages.push_back({Text(text), icon, Text(caption)});
}

Text RecordingUserInterface::input_box(TextView prompt, TextView /*caption*/) {
    prompts.emplace_back(prompt);
    if (answers.empty()) {
        return Text();
    }
    Text answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingUserInterface::show_warning_form(const platform::WarningFormDesign& design) {
    warning_forms.push_back(design.caption);
}

std::unique_ptr<platform::OwnerWindow> RecordingUserInterface::create_hidden_window() {
    ++windows_created;
    return std::make_unique<NoWindow>();
}

} // namespace pelto::testing
