// The pieces of the run that carry rules of their own: the lookup statement, the
// password rule with both key texts, and the generic error message.
#include "cipher/cls_zan_cipher.h"
#include "installer/mdl_start.h"
#include "installer/run.h"
#include "tests/forms/fake_platform.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

using mdl시작::institution_password;
using mdl시작::lookup_statement;

TEST(LookupStatement, CodeBetweenQuotesWithOneLeadingAndOneTrailingSpace) {
    EXPECT_EQ(lookup_statement(u"12345678"),
              u" Select 자동업데이트경로, SQLNAME, SQLUSER, SQLPW, MainDB from PL_기관정보 "
              u"where 요양기관코드 = '12345678' ");
    // Typed spaces stay: the code is looked up as typed.
    EXPECT_TRUE(ends_with(lookup_statement(u"  123 "), u"= '  123 ' "));
}

TEST(LookupStatement, QuotesInTheCodeAreDoubledSoTheStatementCannotBeAltered) {
    EXPECT_TRUE(ends_with(lookup_statement(u"1' OR '1'='1"), u"= '1'' OR ''1''=''1' "));
    EXPECT_TRUE(ends_with(lookup_statement(u"'"), u"= '''' "));
}

class PasswordRule : public ::testing::Test {
protected:
    // The password column as the table holds it, read once per decipher call.
    Text run(const Text& column) {
        reads = 0;
        return institution_password(cipher, [&] {
            ++reads;
            return column;
        });
    }
    clsZan암호화 cipher;
    int reads = 0;
};

TEST_F(PasswordRule, FirstKeyTextIsUsedTrimmed) {
    EXPECT_EQ(run(cipher.fG_암호화(u"  pw-first  ", true)), u"pw-first");
    EXPECT_EQ(reads, 3); // all three decipher calls are made
}

TEST_F(PasswordRule, SecondKeyTextServesWhenTheFirstYieldsBlanks) {
    EXPECT_EQ(run(cipher.fG_암호화(u"비밀번호 two ", false)), u"비밀번호 two");
    EXPECT_EQ(run(cipher.fG_암호화(u"a long password of more than fourteen", false)),
              u"a long password of more than fourteen");
}

TEST_F(PasswordRule, BlankWhenNeitherKeyTextDeciphers) {
    EXPECT_EQ(run(Text(64, u'0')), u"");
    EXPECT_EQ(run(u""), u"");
    EXPECT_EQ(run(u"     "), u"");
}

TEST_F(PasswordRule, MalformedDigitsReachTheCaller) {
    try {
        run(u"abc");
        FAIL() << "an odd digit count must raise";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), vberr::kSubscriptOutOfRange);
    }
    try {
        run(u"zz");
        FAIL() << "a pair that is not hexadecimal must raise";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), vberr::kTypeMismatch);
    }
}

TEST(GenericErrorMessage, NumberAndDescriptionAsVbShowsThem) {
    EXPECT_EQ(installer::generic_error_text(94, u"Invalid use of Null"),
              u"Run-time error '94':\n\nInvalid use of Null");
    EXPECT_EQ(installer::generic_error_text(-2147467259, u"Unspecified error"),
              u"Run-time error '-2147467259 (80004005)':\n\nUnspecified error");
}

TEST(GenericErrorMessage, ShownWithTheCriticalIconAndLoggedWithTheStatus) {
    testing::FakePlatform f;
    const int status = installer::report_unhandled_error(
        f.p, Error{vberr::kFileNotFound, u"PeltoUserInstall_H", u"File not found"});
    EXPECT_EQ(status, exit_status::kUnhandledError);
    ASSERT_EQ(f.ui.messages.size(), 1U);
    EXPECT_EQ(f.ui.messages[0].icon, platform::MessageIcon::Critical);
    EXPECT_EQ(f.ui.messages[0].caption, u"PeltoUserInstall");
    EXPECT_TRUE(f.log.contains("exit status 20"));
    EXPECT_TRUE(f.log.contains("File not found"));
}

} // namespace
} // namespace pelto
