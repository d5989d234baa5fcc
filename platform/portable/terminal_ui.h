// Dialogs as a terminal front end, on the terminal handed to them. A message box prints
// "[caption] text" and waits for Enter; the input box prints its prompt and reads one line
// (end of input = Cancel = ""); the warning window prints its text and waits for Enter.
// When the input is not a terminal (piped), nobody can press Enter: the message boxes and
// the warning window take their default answer (OK, closed) at once and say so in the
// notes, and the input box takes the next line of input as the typed text (end of input =
// Cancel), so that scripts can give the code.
#pragma once

#include "platform/portable/terminal.h"
#include "platform/ui.h"

#include <optional>
#include <string>
#include <string_view>

namespace pelto::platform::portable {

class TerminalUserInterface final : public UserInterface {
public:
    explicit TerminalUserInterface(Terminal& terminal);
    void message_box(TextView text, MessageIcon icon, TextView caption) override;
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override;
    void show_warning_form(const WarningFormDesign& design) override;
    std::unique_ptr<OwnerWindow> create_hidden_window() override;
    // Standard output already holds it.
    void show_report(TextView, TextView) override {}

private:
    Terminal& terminal_;
};

// Reading and asking on a terminal, shared with the shell copy's question.
namespace terminal {

// One line of the terminal's input without its line end (LF or CR LF); nullopt at the end
// of input. Read byte by byte so that nothing beyond the line is taken from the programs
// the run starts later, which share the input.
std::optional<std::string> read_line(Terminal& terminal);

// A yes/no answer: "예", "y", "yes" (any case) yes; "아니오", "아니요", "n", "no" no; an empty
// line the default; anything else nullopt (ask again).
std::optional<bool> parse_yes_no(std::string_view answer, bool default_answer);

// Asks on the terminal until the answer is understood; the end of input answers no.
// With no terminal: the default answer at once, said in the notes.
bool ask_yes_no(Terminal& terminal, const std::string& question, bool default_answer);

// Columns a text takes on a terminal (Hangul and other wide characters take two).
size_t display_width(TextView text);

} // namespace terminal

} // namespace pelto::platform::portable
