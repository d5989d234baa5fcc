// Dialogs as a terminal front end: a message box prints and waits for Enter, the input
// box reads one line (end of input = Cancel), the warning window prints its text and
// waits. With no terminal each dialog takes its default answer and says so on stderr.
#pragma once

#include "platform/ui.h"

namespace pelto::platform::portable {

class TerminalUserInterface final : public UserInterface {
public:
    TerminalUserInterface();
    void message_box(TextView text, MessageIcon icon, TextView caption) override;
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override;
    void show_warning_form(const WarningFormDesign& design) override;
    std::unique_ptr<OwnerWindow> create_hidden_window() override;
};

} // namespace pelto::platform::portable
