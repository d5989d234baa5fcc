// Placeholder until the installation-run work lands.
#include "platform/portable/terminal_ui.h"

#include "platform/shell_copy.h"

namespace pelto::platform::portable {
namespace {
class NoWindow final : public OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};
} // namespace
TerminalUserInterface::TerminalUserInterface() = default;
void TerminalUserInterface::message_box(TextView, MessageIcon, TextView) {}
Text TerminalUserInterface::input_box(TextView, TextView) { return Text(); }
void TerminalUserInterface::set_busy_pointer(bool) {}
void TerminalUserInterface::show_warning_form(const WarningFormDesign&) {}
std::unique_ptr<OwnerWindow> TerminalUserInterface::create_hidden_window() {
    return std::make_unique<NoWindow>();
}
} // namespace pelto::platform::portable
