#include "installer/silent_ui.h"

#include <string>

namespace pelto::installer {

namespace {

const char* icon_name(platform::MessageIcon icon) {
    switch (icon) {
    case platform::MessageIcon::Information:
        return "information";
    case platform::MessageIcon::Critical:
        return "critical";
    case platform::MessageIcon::None:
        break;
    }
    return "no icon";
}

} // namespace

SilentUserInterface::SilentUserInterface(platform::UserInterface& screen, platform::RunLog& log)
    : screen_(screen), log_(log) {}

void SilentUserInterface::message_box(TextView text, platform::MessageIcon icon,
                                      TextView /*caption*/) {
    log_.write(std::string("silent: message not shown (") + icon_name(icon) +
               "): " + to_utf8(text));
}

Text SilentUserInterface::input_box(TextView prompt, TextView /*caption*/) {
    log_.write("silent: input box not shown, taken as cancelled: " + to_utf8(prompt));
    return {};
}

void SilentUserInterface::set_busy_pointer(bool busy) {
    screen_.set_busy_pointer(busy);
}

void SilentUserInterface::show_warning_form(const platform::WarningFormDesign& design) {
    log_.write("silent: warning window not shown: " + to_utf8(design.label_text));
}

std::unique_ptr<platform::OwnerWindow> SilentUserInterface::create_hidden_window() {
    return screen_.create_hidden_window();
}

} // namespace pelto::installer
