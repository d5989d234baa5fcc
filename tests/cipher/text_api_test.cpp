// The text operations: known cipher forms, pass-throughs, padding and failures.
#include "cipher/cls_zan_cipher.h"
#include "cipher/text_form.h"
#include "core/error.h"
#include "tests/cipher/vector_files.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

using cipher::Bytes;

int error_number_of_decryption(clsZan암호화& c, const Text& digits, bool before) {
    try {
        c.fG_복호화(digits, before);
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

Text padded(Text text) {
    if (text.size() < 14) {
        text.append(14 - text.size(), u' ');
    }
    return text;
}

Text lower(Text text) {
    for (auto& c : text) {
        if (c >= u'A' && c <= u'F') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return text;
}

class CipherTextTest : public ::testing::Test {
protected:
    clsZan암호화 cipher;
};

TEST_F(CipherTextTest, MatchesTheKnownCipherForms) {
    const auto vectors = cipher::testing::read_text_vectors("text_form.txt");
    ASSERT_EQ(vectors.size(), 14U);
    // Twice, in two orders, on the one instance: switching key texts keeps nothing.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = 0; k < vectors.size(); ++k) {
            const auto& v = vectors[pass == 0 ? k : vectors.size() - 1 - k];
            EXPECT_EQ(cipher.fG_암호화(v.text, v.first_key), v.digits) << v.where;
            EXPECT_EQ(cipher.fG_복호화(v.digits, v.first_key), padded(v.text)) << v.where;
            EXPECT_EQ(cipher.fG_복호화(lower(v.digits), v.first_key), padded(v.text)) << v.where;
            // Under the other key text: 14 spaces, never an error.
            EXPECT_EQ(cipher.fG_복호화(v.digits, !v.first_key), Text(14, u' ')) << v.where;
        }
    }
}

TEST_F(CipherTextTest, EncryptionPassesBlankMaskAndSixtyFourCharacterTextsThrough) {
    const Text hex64(64, u'A');
    const Text any64 = u"not hexadecimal at all, but sixty-four characters long, like so!";
    ASSERT_EQ(any64.size(), 64U);
    const Text unchanged[] = {
        u"",   u"   ", u"______-_______",   u" ______-_______", u"______-_______  ",
        hex64, any64,  u"  " + any64 + u" "};
    for (bool before : {true, false}) {
        for (const Text& text : unchanged) {
            EXPECT_EQ(cipher.fG_암호화(text, before), text) << to_utf8(text);
        }
    }
    // One character either side of 64 is enciphered.
    EXPECT_EQ(cipher.fG_암호화(Text(63, u'A'), true).size(), 320U);
    EXPECT_EQ(cipher.fG_암호화(Text(65, u'A'), true).size(), 320U);
    // A mask with other characters around it is a text like any other.
    EXPECT_EQ(cipher.fG_암호화(u"x______-_______", true).size(), 128U);
}

TEST_F(CipherTextTest, DecryptionPassesBlankAndMaskThroughCutTo14) {
    EXPECT_EQ(cipher.fG_복호화(u"", true), u"");
    EXPECT_EQ(cipher.fG_복호화(u"   ", true), u"   ");
    EXPECT_EQ(cipher.fG_복호화(Text(20, u' '), false), Text(14, u' '));
    EXPECT_EQ(cipher.fG_복호화(u"______-_______", true), u"______-_______");
    EXPECT_EQ(cipher.fG_복호화(u" ______-_______ ", false), u" ______-______");
}

TEST_F(CipherTextTest, TextsComeBackWithTheirSpacesAndAtLeast14Characters) {
    const Text texts[] = {u"abc",
                          u"  leading",
                          u"trailing   ",
                          u"exactly 14 chr",
                          u"fifteen chars!!",
                          u"한글 비밀번호",
                          u"\U0001F600 surrogate pair",
                          Text(1, u'\0') + u"NUL inside",
                          Text(500, u'x')};
    for (bool before : {true, false}) {
        for (const Text& text : texts) {
            const Text digits = cipher.fG_암호화(text, before);
            const size_t blocks = (2 * text.size() + 4 + 31) / 32;
            EXPECT_EQ(digits.size(), 64 * blocks) << to_utf8(text);
            EXPECT_EQ(digits, cipher::hex_upper(cipher::read_hex_pairs(digits)));
            EXPECT_EQ(cipher.fG_복호화(digits, before), padded(text)) << to_utf8(text);
        }
    }
}

TEST_F(CipherTextTest, MalformedDigitsRaiseTheTwoErrorsUnderEitherKey) {
    const std::pair<Text, int> cases[] = {
        {u"abc", vberr::kSubscriptOutOfRange},
        {u"0", vberr::kSubscriptOutOfRange},
        {Text(63, u'0'), vberr::kSubscriptOutOfRange},
        // The count is checked before any digit is read.
        {u"zzz", vberr::kSubscriptOutOfRange},
        {u"zz", vberr::kTypeMismatch},
        {u"0g", vberr::kTypeMismatch},
        {u" 1", vberr::kTypeMismatch},
        {u"1 ", vberr::kTypeMismatch},
        {u"+1", vberr::kTypeMismatch},
        {u"-1", vberr::kTypeMismatch},
        {u"0x", vberr::kTypeMismatch},
        {u"&H", vberr::kTypeMismatch},
        {u"０１", vberr::kTypeMismatch}, // full-width digits
        {Text(62, u'0') + u"0Z", vberr::kTypeMismatch},
    };
    for (const auto& [digits, number] : cases) {
        EXPECT_EQ(error_number_of_decryption(cipher, digits, true), number) << to_utf8(digits);
        EXPECT_EQ(error_number_of_decryption(cipher, digits, false), number) << to_utf8(digits);
    }
}

TEST_F(CipherTextTest, WellFormedDigitsThatDoNotDecipherGive14Spaces) {
    const Text spaces(14, u' ');
    for (bool before : {true, false}) {
        EXPECT_EQ(cipher.fG_복호화(u"00", before), spaces);
        EXPECT_EQ(cipher.fG_복호화(u"0000", before), spaces);
        EXPECT_EQ(cipher.fG_복호화(Text(66, u'F'), before), spaces);
        EXPECT_EQ(cipher.fG_복호화(Text(64, u'0'), before), spaces);
        // A changed digit spoils its block's length field.
        Text digits = cipher.fG_암호화(u"abc", before);
        digits[0] = digits[0] == u'0' ? u'1' : u'0';
        EXPECT_EQ(cipher.fG_복호화(digits, before), spaces);
    }
}

TEST_F(CipherTextTest, OddByteCountFromTheMessageLayerDropsTheLastByte) {
    // Only a cipher form made outside the text operations can state an odd length.
    cipher::MessageLayer layer;
    const Bytes key = cipher::utf16_bytes(clsZan암호화::kBeforeKeyText);
    const Bytes sealed = layer.f_EncryptBytes(Bytes{'a', 0, 'b'}, key);
    EXPECT_EQ(cipher.fG_복호화(cipher::hex_upper(sealed), true), padded(u"a"));
}

} // namespace
} // namespace pelto
