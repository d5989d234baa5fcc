// The dialogs of an unattended run (/SILENT): nobody is there to answer, so every message
// box, the warning window and the input box go to the run log instead of the screen.
// The hidden owner window of the copies and the busy pointer are no dialogs and stay.
#pragma once

#include "platform/run_log.h"
#include "platform/shell_copy.h"
#include "platform/ui.h"

namespace pelto::installer {

class SilentUserInterface final : public platform::UserInterface {
public:
    SilentUserInterface(platform::UserInterface& screen, platform::RunLog& log);

    void message_box(TextView text, platform::MessageIcon icon, TextView caption) override;
    // Never needed when the code is given; answers Cancel ("").
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override;
    void show_warning_form(const platform::WarningFormDesign& design) override;
    std::unique_ptr<platform::OwnerWindow> create_hidden_window() override;
    // Standard output holds it; nobody is there to read a window.
    void show_report(TextView, TextView) override {}

private:
    platform::UserInterface& screen_;
    platform::RunLog& log_;
};

} // namespace pelto::installer
