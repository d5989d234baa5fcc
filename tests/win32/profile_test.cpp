// Settings files written through WritePrivateProfileStringA on the real file system.
#include "platform/win32/profiles_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    TempFolder folder_;
    platform::win32::Win32ProfileFiles profiles_;
};

TEST_F(ProfileTest, MissingFileIsCreatedWithSectionAndKeyInCodePage949) {
    const std::wstring file = folder_ / L"Pelto.ini";
    EXPECT_TRUE(profiles_.write_private_profile_string(u"Database Server", u"server_name",
                                                       u"병원서버", text_of(file)));
    const auto bytes = read_bytes(file);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "[Database Server]\r\nserver_name=" + to_cp949(u"병원서버") + "\r\n");
}

TEST_F(ProfileTest, ExistingKeyReplacedInPlaceAndMissingKeyAppendedToItsSection) {
    const std::wstring file = folder_ / L"Pelto.ini";
    write_bytes(file, "[Main]\r\nskin=blue\r\n"
                      "[Database Server]\r\nserver_name=old\r\nserver_id=sa\r\n"
                      "[Print]\r\nport=LPT1\r\n");
    const Text path = text_of(file);
    EXPECT_TRUE(profiles_.write_private_profile_string(u"database server", u"SERVER_NAME",
                                                       u"HOSP01", path));
    EXPECT_TRUE(profiles_.write_private_profile_string(u"Database Server", u"database_name",
                                                       u"펠토DB", path));
    const auto bytes = read_bytes(file);
    ASSERT_TRUE(bytes.has_value());
    // The key keeps its place (its name as the file spells it is the system's business);
    // the new key closes its section; the other sections are untouched.
    const size_t name = bytes->find("=HOSP01\r\nserver_id=sa\r\n");
    EXPECT_NE(name, std::string::npos) << *bytes;
    EXPECT_EQ(bytes->find("old"), std::string::npos);
    EXPECT_NE(bytes->find("server_id=sa\r\ndatabase_name=" + to_cp949(u"펠토DB") + "\r\n"),
              std::string::npos)
        << *bytes;
    EXPECT_EQ(bytes->rfind("[Main]\r\nskin=blue\r\n", 0), 0U) << *bytes;
    EXPECT_NE(bytes->find("[Print]\r\nport=LPT1"), std::string::npos) << *bytes;
}

TEST_F(ProfileTest, NothingIsWrittenWhenTheFolderIsMissing) {
    const std::wstring file = folder_ / L"bin\\Pelto.ini";
    EXPECT_FALSE(profiles_.write_private_profile_string(u"Database Server", u"server_id", u"sa",
                                                        text_of(file)));
    EXPECT_FALSE(exists(folder_ / L"bin"));
}

} // namespace
} // namespace pelto::win32_test
