#include "core/text.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

TEST(Text, Utf8RoundTripKeepsKoreanAndAstralCharacters) {
    const std::string utf8 = "요양기관기호 \xF0\x9F\x98\x80 abc";
    const Text text = from_utf8(utf8);
    EXPECT_EQ(text.substr(0, 6), u"요양기관기호");
    EXPECT_EQ(text.size(), 6u + 1 + 2 + 1 + 3); // the emoji is a surrogate pair
    EXPECT_EQ(to_utf8(text), utf8);
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(from_utf8("a\xFF"
                        "b"),
              u"a\uFFFDb");
    EXPECT_EQ(from_utf8("\xC3"), u"\uFFFD");                       // truncated sequence
    EXPECT_EQ(from_utf8("\xC0\xAF"), u"\uFFFD\uFFFD");             // overlong slash
    EXPECT_EQ(to_utf8(Text(1, char16_t(0xD800))), "\xEF\xBF\xBD"); // lone surrogate
}

TEST(Text, Cp949GivesTwoBytesPerHangulSyllable) {
    const std::string bytes = to_cp949(u"펠토A");
    ASSERT_EQ(bytes.size(), 5u);
    EXPECT_EQ(bytes[4], 'A');
    EXPECT_EQ(from_cp949(bytes), u"펠토A");
    // A syllable outside KS X 1001 still has a CP949 (UHC) form.
    EXPECT_EQ(to_cp949(u"똠").size(), 2u);
    EXPECT_EQ(from_cp949(to_cp949(u"똠")), u"똠");
}

TEST(Text, Cp949ReplacesWhatItCannotRepresent) {
    EXPECT_EQ(to_cp949(u"a\u0E01b"), "a?b"); // Thai has no CP949 form
}

TEST(Text, TrimRemovesOnlySpaces) {
    EXPECT_EQ(trim(u"  a b  "), u"a b");
    EXPECT_EQ(trim(u"\ta\t"), u"\ta\t");
    EXPECT_EQ(trim(u"    "), u"");
}

TEST(Text, CaseHelpers) {
    EXPECT_EQ(to_upper(u"installpelto_h.exe.bak"), u"INSTALLPELTO_H.EXE.BAK");
    EXPECT_EQ(to_upper(u"펠토"), u"펠토");
    EXPECT_TRUE(equals_ignore_case(u"Database Server", u"DATABASE server"));
    EXPECT_FALSE(equals_ignore_case(u"a", u"ab"));
    EXPECT_TRUE(ends_with(u"Pelto.ini", u"ini"));
    EXPECT_FALSE(ends_with(u"in", u"ini"));
    EXPECT_EQ(replace_all(u"2024-03-05", u"-", u""), u"20240305");
}

} // namespace
} // namespace pelto
