// Code page 949 as the "A" functions receive it, whatever the machine's own code page.
#include "core/text.h"
#include "platform/codepage.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace pelto {
namespace {

TEST(Win32CodePage, HangulTakesTwoBytesAndComesBackUnchanged) {
    const Text text = u"펠토사용자설치 DBMSSOCN,서버";
    const std::string bytes = to_cp949(text);
    // 9 Hangul syllables of two bytes each, 10 ASCII characters of one.
    EXPECT_EQ(bytes.size(), 9U * 2 + 10U);
    EXPECT_EQ(bytes.substr(0, 2), "\xC6\xE7"); // 펠 in code page 949
    EXPECT_EQ(from_cp949(bytes), text);
}

TEST(Win32CodePage, CharactersOutsideTheCodePageBecomeQuestionMarksNotLookAlikes) {
    // A full-width backslash must not turn into a path separator, nor a full-width
    // apostrophe into a quote, on the way to an "A" function.
    const std::string bytes = to_cp949(u"a\uFF3Cb\u2019c\U0001F600");
    EXPECT_EQ(bytes.find('\\'), std::string::npos);
    EXPECT_EQ(bytes.find('\''), std::string::npos);
    EXPECT_EQ(bytes.front(), 'a');
}

// The stage runs the tests on prefixes of two code pages and names the one it made: a
// prefix that silently had another code page would make the other tests prove nothing.
TEST(Win32CodePage, MachineHasTheCodePageTheStageAskedFor) {
    const char* expected = std::getenv("PELTO_TEST_ANSI_CODE_PAGE");
    if (expected == nullptr) {
        GTEST_SKIP() << "PELTO_TEST_ANSI_CODE_PAGE is not set";
    }
    EXPECT_EQ(std::to_string(GetACP()), expected);
}

TEST(Win32CodePage, EmptyTextIsEmpty) {
    EXPECT_TRUE(to_cp949(u"").empty());
    EXPECT_TRUE(from_cp949("").empty());
}

} // namespace
} // namespace pelto
