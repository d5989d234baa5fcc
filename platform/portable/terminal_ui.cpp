// The dialogs of the portable machine on the terminal (see terminal_ui.h).
#include "platform/portable/terminal_ui.h"

#include "platform/shell_copy.h"

#include <algorithm>
#include <ostream>
#include <vector>

namespace pelto::platform::portable {

namespace {

class NoWindow final : public OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};

constexpr std::string_view kRed = "\033[31m";
constexpr std::string_view kRedBold = "\033[1;31m";
constexpr std::string_view kReset = "\033[0m";

constexpr std::string_view kLineTakenNote =
    "(no terminal: the line read from standard input is the answer)\n";
constexpr std::string_view kEndOfInputNote = "(no terminal: end of input, taken as Cancel)\n";

// Waits for Enter at a terminal; with no terminal the default answer is taken at once.
void wait_for_enter(Terminal& terminal, std::string_view what) {
    if (terminal.can_answer()) {
        terminal.screen() << "(Enter: " << what << ")" << std::flush;
        (void)terminal::read_line(terminal);
    } else {
        terminal.notes() << "(no terminal: " << what << " taken as the answer)\n";
    }
}

std::vector<Text> split_lines(TextView text) {
    std::vector<Text> lines;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(u'\n', start);
        lines.emplace_back(
            text.substr(start, end == TextView::npos ? TextView::npos : end - start));
        if (end == TextView::npos) {
            return lines;
        }
        start = end + 1;
    }
}

std::string repeat(std::string_view piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

} // namespace

namespace terminal {

std::optional<std::string> read_line(Terminal& terminal) {
    std::string line;
    bool any = false;
    while (const std::optional<char> c = terminal.read_byte()) {
        any = true;
        if (*c == '\n') {
            break;
        }
        line.push_back(*c);
    }
    if (!any) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::optional<bool> parse_yes_no(std::string_view answer, bool default_answer) {
    std::string a(answer);
    a.erase(0, a.find_first_not_of(" \t"));
    a.erase(a.find_last_not_of(" \t") + 1);
    std::transform(a.begin(), a.end(), a.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (a.empty()) {
        return default_answer;
    }
    if (a == "y" || a == "yes" || a == "예" || a == "네") {
        return true;
    }
    if (a == "n" || a == "no" || a == "아니오" || a == "아니요") {
        return false;
    }
    return std::nullopt;
}

bool ask_yes_no(Terminal& terminal, const std::string& question, bool default_answer) {
    const char* shown_default = default_answer ? "예" : "아니오";
    std::ostream& screen = terminal.screen();
    screen << question << '\n';
    if (!terminal.can_answer()) {
        screen << std::flush;
        terminal.notes() << "(no terminal: answered " << shown_default << ")\n";
        return default_answer;
    }
    while (true) {
        screen << "(예/아니오, Enter: " << shown_default << ") " << std::flush;
        const std::optional<std::string> line = read_line(terminal);
        if (!line) {
            screen << '\n';
            return false;
        }
        if (const std::optional<bool> answer = parse_yes_no(*line, default_answer)) {
            return *answer;
        }
    }
}

size_t display_width(TextView text) {
    size_t width = 0;
    for (const char16_t c : text) {
        if ((c >= 0xDC00 && c <= 0xDFFF)) {
            continue; // the second half of a surrogate pair adds nothing
        }
        const bool wide = (c >= 0x1100 && c <= 0x115F) || c == 0x203B ||
                          (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                          (c >= 0xD800 && c <= 0xDBFF) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6);
        width += wide ? 2 : 1;
    }
    return width;
}

} // namespace terminal

TerminalUserInterface::TerminalUserInterface(Terminal& terminal) : terminal_(terminal) {}

void TerminalUserInterface::message_box(TextView text, MessageIcon, TextView caption) {
    terminal_.screen() << '[' << to_utf8(caption) << "] " << to_utf8(text) << '\n' << std::flush;
    wait_for_enter(terminal_, "확인");
}

Text TerminalUserInterface::input_box(TextView prompt, TextView caption) {
    std::ostream& screen = terminal_.screen();
    screen << '[' << to_utf8(caption) << "] " << to_utf8(prompt) << '\n' << "> " << std::flush;
    const bool at_terminal = terminal_.can_answer();
    const std::optional<std::string> line = terminal::read_line(terminal_);
    if (!at_terminal) {
        // Show what the script typed, as a terminal would have echoed it.
        screen << (line ? *line : std::string()) << '\n' << std::flush;
        terminal_.notes() << (line ? kLineTakenNote : kEndOfInputNote);
    } else if (!line) {
        screen << '\n' << std::flush; // Ctrl-D: Cancel
    }
    return line ? from_utf8(*line) : Text();
}

// The pointer shape has no meaning on a terminal.
void TerminalUserInterface::set_busy_pointer(bool) {}

void TerminalUserInterface::show_warning_form(const WarningFormDesign& design) {
    const bool colour = terminal_.screen_shows_colours();
    const std::vector<Text> lines = split_lines(design.picture_message);
    size_t inner = 0;
    for (const Text& line : lines) {
        inner = std::max(inner, terminal::display_width(line));
    }
    std::ostream& screen = terminal_.screen();
    const std::string red = colour ? std::string(kRed) : std::string();
    const std::string reset = colour ? std::string(kReset) : std::string();

    screen << "== " << to_utf8(design.caption) << " ==\n";
    // The picture of the installer's question, framed by the red outline.
    screen << red << "+" << repeat("-", inner + 2) << "+" << reset << '\n';
    for (const Text& line : lines) {
        screen << red << "|" << reset << ' ' << to_utf8(line)
               << std::string(inner - terminal::display_width(line), ' ') << ' ' << red << "|"
               << reset << '\n';
    }
    screen << red << "+" << repeat("-", inner + 2) << "+" << reset << '\n';
    screen << (colour ? std::string(kRedBold) : std::string()) << to_utf8(design.label_text)
           << reset << '\n'
           << std::flush;
    wait_for_enter(terminal_, "창 닫기");
}

std::unique_ptr<OwnerWindow> TerminalUserInterface::create_hidden_window() {
    return std::make_unique<NoWindow>();
}

} // namespace pelto::platform::portable
