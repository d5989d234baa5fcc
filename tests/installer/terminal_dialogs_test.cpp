// The terminal dialogs of the portable machine with standard input piped, as scripts and
// the end-to-end tests drive the program.
#include "platform/portable/terminal_ui.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace pelto::platform::portable {
namespace {

// Puts a pipe holding `input` on standard input for the test's length.
class PipedInput {
public:
    explicit PipedInput(const std::string& input) {
        saved_ = ::dup(STDIN_FILENO);
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        EXPECT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        ::close(fds[1]);
        ::dup2(fds[0], STDIN_FILENO);
        ::close(fds[0]);
    }
    ~PipedInput() {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
    }
    PipedInput(const PipedInput&) = delete;
    PipedInput& operator=(const PipedInput&) = delete;

    // What is left on standard input for a program started later.
    static std::string rest() {
        std::string out;
        char buffer[256];
        ssize_t n = 0;
        while ((n = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }

private:
    int saved_ = -1;
};

TEST(TerminalInputBox, TakesOneLineExactlyAndLeavesTheRestForLaterPrograms) {
    PipedInput in("  1234'5 \r\nanswer for the installer\n");
    TerminalUserInterface ui;
    ::testing::internal::CaptureStdout();
    const Text code = ui.input_box(u"요양기관기호를 입력해주세요.", u"PeltoUserInstall");
    const std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, u"  1234'5 "); // not trimmed; only the line end goes
    EXPECT_NE(shown.find("[PeltoUserInstall] 요양기관기호를 입력해주세요."), std::string::npos);
    EXPECT_EQ(PipedInput::rest(), "answer for the installer\n");
}

TEST(TerminalInputBox, EndOfInputIsCancelAndAnEmptyLineIsEmpty) {
    TerminalUserInterface ui;
    {
        PipedInput in("");
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(ui.input_box(u"prompt", u"caption"), u"");
        ::testing::internal::GetCapturedStdout();
    }
    {
        PipedInput in("\nnext\n");
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(ui.input_box(u"prompt", u"caption"), u"");
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(PipedInput::rest(), "next\n");
    }
    {
        PipedInput in("한글 코드"); // a last line without its line end still counts
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(ui.input_box(u"prompt", u"caption"), u"한글 코드");
        ::testing::internal::GetCapturedStdout();
    }
}

TEST(TerminalDialogs, MessageBoxAndWarningWindowTakeTheirDefaultWithoutReadingInput) {
    PipedInput in("12345678\n");
    TerminalUserInterface ui;
    ::testing::internal::CaptureStdout();
    ui.message_box(u"설치가 완료 되었습니다.", MessageIcon::Information, u"PeltoUserInstall");
    WarningFormDesign design{};
    design.caption = u"경고";
    design.picture_message = u"첫 줄\nsecond line";
    design.label_text = u"※ \"아니오\"";
    ui.show_warning_form(design);
    const std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(shown.find("[PeltoUserInstall] 설치가 완료 되었습니다.\n"), std::string::npos);
    EXPECT_NE(shown.find("경고"), std::string::npos);
    EXPECT_NE(shown.find("| 첫 줄       |"), std::string::npos); // framed, widths aligned
    EXPECT_NE(shown.find("| second line |"), std::string::npos);
    EXPECT_NE(shown.find("※ \"아니오\""), std::string::npos);
    EXPECT_EQ(PipedInput::rest(), "12345678\n");
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
    PipedInput in("아니오\n");
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(terminal::ask_yes_no("바꾸시겠습니까?", true));
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(PipedInput::rest(), "아니오\n");
}

TEST(TerminalLayout, HangulTakesTwoColumns) {
    EXPECT_EQ(terminal::display_width(u"abc"), 3U);
    EXPECT_EQ(terminal::display_width(u"경고 a"), 6U);
}

} // namespace
} // namespace pelto::platform::portable
