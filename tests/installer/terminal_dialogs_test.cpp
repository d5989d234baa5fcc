// The terminal dialogs of the portable machine, on a terminal of the test's own: with the
// input piped, as scripts and the end-to-end tests drive the program, and with a person
// answering.
#include "platform/portable/terminal_ui.h"
#include "tests/support/scripted_terminal.h"

#include <gtest/gtest.h>
#include <string>

namespace pelto::platform::portable {
namespace {

using testing::ScriptedTerminal;

TEST(TerminalInputBox, TakesOneLineExactlyAndLeavesTheRestForLaterPrograms) {
    ScriptedTerminal in(false, "  1234'5 \r\nanswer for the installer\n");
    TerminalUserInterface ui(in);
    const Text code = ui.input_box(u"요양기관기호를 입력해주세요.", u"PeltoUserInstall");
    EXPECT_EQ(code, u"  1234'5 "); // not trimmed; only the line end goes
    EXPECT_NE(in.shown().find("[PeltoUserInstall] 요양기관기호를 입력해주세요."),
              std::string::npos);
    EXPECT_EQ(in.unread(), "answer for the installer\n");
}

TEST(TerminalInputBox, EndOfInputIsCancelAndAnEmptyLineIsEmpty) {
    {
        ScriptedTerminal in(false, "");
        EXPECT_EQ(TerminalUserInterface(in).input_box(u"prompt", u"caption"), u"");
    }
    {
        ScriptedTerminal in(false, "\nnext\n");
        EXPECT_EQ(TerminalUserInterface(in).input_box(u"prompt", u"caption"), u"");
        EXPECT_EQ(in.unread(), "next\n");
    }
    {
        ScriptedTerminal in(false, "한글 코드"); // a last line without its line end still counts
        EXPECT_EQ(TerminalUserInterface(in).input_box(u"prompt", u"caption"), u"한글 코드");
    }
}

TEST(TerminalDialogs, MessageBoxAndWarningWindowTakeTheirDefaultWithoutReadingInput) {
    ScriptedTerminal in(false, "12345678\n");
    TerminalUserInterface ui(in);
    ui.message_box(u"설치가 완료 되었습니다.", MessageIcon::Information, u"PeltoUserInstall");
    WarningFormDesign design{};
    design.caption = u"경고";
    design.picture_message = u"첫 줄\nsecond line";
    design.label_text = u"※ \"아니오\"";
    ui.show_warning_form(design);
    const std::string shown = in.shown();
    EXPECT_NE(shown.find("[PeltoUserInstall] 설치가 완료 되었습니다.\n"), std::string::npos);
    EXPECT_NE(shown.find("경고"), std::string::npos);
    EXPECT_NE(shown.find("| 첫 줄       |"), std::string::npos); // framed, widths aligned
    EXPECT_NE(shown.find("| second line |"), std::string::npos);
    EXPECT_NE(shown.find("※ \"아니오\""), std::string::npos);
    EXPECT_EQ(in.unread(), "12345678\n");
}

TEST(TerminalQuestion, YesNoAnswersInKoreanAndEnglish) {
    using terminal::parse_yes_no;
    EXPECT_EQ(parse_yes_no("예", false), true);
    EXPECT_EQ(parse_yes_no(" Y ", false), true);
    EXPECT_EQ(parse_yes_no("YES", false), true);
    EXPECT_EQ(parse_yes_no("아니오", true), false);
    EXPECT_EQ(parse_yes_no("아니요", true), false);
    EXPECT_EQ(parse_yes_no("n", true), false);
    EXPECT_EQ(parse_yes_no("", true), true);
    EXPECT_EQ(parse_yes_no("", false), false);
    EXPECT_EQ(parse_yes_no("maybe", true), std::nullopt);
}

TEST(TerminalQuestion, WithoutATerminalTheDefaultIsTakenAndNothingIsRead) {
    ScriptedTerminal in(false, "아니오\n");
    EXPECT_TRUE(terminal::ask_yes_no(in, "바꾸시겠습니까?", true));
    EXPECT_EQ(in.unread(), "아니오\n");
    EXPECT_NE(in.noted().find("no terminal: answered 예"), std::string::npos);
}

// At a terminal the question is asked again until it is understood, and the end of input
// (Ctrl-D) answers no whatever the default.
TEST(TerminalQuestion, AtATerminalTheAnswerIsAskedForUntilUnderstood) {
    ScriptedTerminal person(true, "maybe\r\n  아니요 \nnext\n");
    EXPECT_FALSE(terminal::ask_yes_no(person, "바꾸시겠습니까?", true));
    EXPECT_EQ(person.unread(), "next\n");
    ScriptedTerminal gone(true, "");
    EXPECT_FALSE(terminal::ask_yes_no(gone, "바꾸시겠습니까?", true));
}

TEST(TerminalLayout, HangulTakesTwoColumns) {
    EXPECT_EQ(terminal::display_width(u"abc"), 3U);
    EXPECT_EQ(terminal::display_width(u"경고 a"), 6U);
}

} // namespace
} // namespace pelto::platform::portable
