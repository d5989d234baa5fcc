#include "platform/codepage.h"
#include "platform/portable/profile_file.h"
#include "platform/profile_rules.h"
#include "tests/support/temp_machine.h"

#include <gtest/gtest.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

class ProfileFileTest : public ::testing::Test {
protected:
    TempMachine t;
    bool write(TextView section, TextView key, TextView value, TextView file) {
        return t.machine().profiles().write_private_profile_string(section, key, value, file);
    }
};

TEST_F(ProfileFileTest, AMissingFileIsCreatedAndAMissingFolderWritesNothing) {
    t.make_folder(u"C:\\Pelto_H\\bin");
    ASSERT_TRUE(write(u"Database Server", u"server_name", u"srv", u"C:\\Pelto_H\\bin\\Pelto.ini"));
    EXPECT_EQ(t.read_file(u"C:\\Pelto_H\\bin\\Pelto.ini"),
              "[Database Server]\r\nserver_name=srv\r\n");
    EXPECT_EQ(fs::status(t.host(u"C:\\Pelto_H\\bin\\Pelto.ini")).permissions() &
                  fs::perms::owner_write,
              fs::perms::owner_write);

    EXPECT_FALSE(write(u"Database Server", u"server_name", u"srv", u"C:\\Missing\\Pelto.ini"));
    EXPECT_FALSE(t.exists(u"C:\\Missing"));
    EXPECT_TRUE(t.log().contains("the folder is missing"));
    // A name without a folder is in C:\Windows, as on Windows.
    EXPECT_FALSE(write(u"S", u"k", u"v", u"win.ini"));
    t.make_folder(u"C:\\Windows");
    EXPECT_TRUE(write(u"S", u"k", u"v", u"win.ini"));
    EXPECT_TRUE(t.exists(u"C:\\Windows\\win.ini"));
}

TEST_F(ProfileFileTest, PermissionsAndDosAttributesStay) {
    t.write_file(u"C:\\a.ini", "[S]\r\nk=1\r\n");
    const fs::path host = t.host(u"C:\\a.ini");
    fs::permissions(host, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(t.machine().files().set_attributes(u"C:\\a.ini", attr::kHidden));
    ASSERT_TRUE(write(u"S", u"k", u"2", u"C:\\a.ini"));
    EXPECT_EQ(fs::status(host).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(t.machine().files().get_attributes(u"C:\\a.ini"), attr::kHidden | attr::kArchive);
}

TEST_F(ProfileFileTest, ALinkIsWrittenThroughOnlyOnTheMachine) {
    t.write_file(u"C:\\real.ini", "[S]\r\n");
    fs::create_symlink(t.host(u"C:\\real.ini"), t.host(u"C:\\link.ini"));
    testing::write_host_file(t.outside() / "away.ini", "[S]\r\n");
    fs::create_symlink(t.outside() / "away.ini", t.host(u"C:\\away.ini"));
    ASSERT_TRUE(write(u"S", u"k", u"v", u"C:\\link.ini"));
    EXPECT_TRUE(fs::is_symlink(t.host(u"C:\\link.ini")));
    EXPECT_EQ(t.read_file(u"C:\\real.ini"), "[S]\r\nk=v\r\n");
    EXPECT_FALSE(write(u"S", u"k", u"v", u"C:\\away.ini"));
    EXPECT_EQ(testing::read_host_file(t.outside() / "away.ini"), "[S]\r\n");
}

} // namespace
} // namespace pelto::platform::portable
