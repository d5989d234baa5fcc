// Settings files on the real file system: code page 949 bytes whatever the machine's own
// code page (the stage runs these tests on a Korean and on a Western prefix).
#include "platform/codepage.h"
#include "platform/win32/profiles_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    TempFolder folder_;
    platform::win32::Win32RunLog log_{folder_ / L"run.log"};
    platform::win32::Win32ProfileFiles profiles_{log_};
};

TEST_F(ProfileTest, MissingFileIsCreatedWithSectionAndKeyInCodePage949) {
    const std::wstring file = folder_ / L"Pelto.ini";
    EXPECT_TRUE(profiles_.write_private_profile_string(u"Database Server", u"server_name",
                                                       u"병원서버", text_of(file)));
    const auto bytes = read_bytes(file);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "[Database Server]\r\nserver_name=" + to_cp949(u"병원서버") + "\r\n");
}

TEST_F(ProfileTest, ExistingKeyReplacedInPlaceAndEveryOtherByteKept) {
    // Korean text in the template, and a last line without a line end: the machine's
    // code page must not touch either (the system's writer re-encodes the whole file).
    const std::wstring file = folder_ / L"Pelto.ini";
    const std::string korean = to_cp949(u"; 펠토 설정 갂똠\r\n[일반]\r\n제목=펠토\r\n");
    write_bytes(file, korean + "[Database Server]\r\nserver_name=old\r\nserver_id=sa\r\n"
                               "[Print]\r\nport=LPT1");
    const Text path = text_of(file);
    EXPECT_TRUE(profiles_.write_private_profile_string(u"database server", u"SERVER_NAME",
                                                       u"HOSP01", path));
    EXPECT_TRUE(profiles_.write_private_profile_string(u"Database Server", u"database_name",
                                                       u"펠토DB", path));
    EXPECT_EQ(read_bytes(file), korean +
                                    "[Database Server]\r\nSERVER_NAME=HOSP01\r\n"
                                    "server_id=sa\r\ndatabase_name=" +
                                    to_cp949(u"펠토DB") + "\r\n[Print]\r\nport=LPT1");
}

TEST_F(ProfileTest, NothingIsWrittenWhenTheFolderIsMissing) {
    const std::wstring file = folder_ / L"bin\\Pelto.ini";
    EXPECT_FALSE(profiles_.write_private_profile_string(u"Database Server", u"server_id", u"sa",
                                                        text_of(file)));
    EXPECT_FALSE(exists(folder_ / L"bin"));
}

} // namespace
} // namespace pelto::win32_test
