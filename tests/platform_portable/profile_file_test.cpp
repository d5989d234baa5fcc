#include "platform/codepage.h"
#include "platform/portable/profile_file.h"
#include "platform/profile_rules.h"
#include "tests/support/temp_machine.h"

#include <gtest/gtest.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

TEST(ProfileTextTest, AnExistingKeyIsReplacedInPlace) {
    const std::string file = "; settings\r\n[Other]\r\nserver_name=keep\r\n\r\n"
                             "[ database server ]\r\n  Server_Name = old ;x\r\nserver_id=sa";
    EXPECT_EQ(write_profile_entry(file, "Database Server", "server_name", "new"),
              "; settings\r\n[Other]\r\nserver_name=keep\r\n\r\n"
              "[ database server ]\r\nserver_name=new\r\nserver_id=sa");
    // The last line keeps its missing line end.
    EXPECT_EQ(write_profile_entry(file, "DATABASE SERVER", "SERVER_ID", "x"),
              "; settings\r\n[Other]\r\nserver_name=keep\r\n\r\n"
              "[ database server ]\r\n  Server_Name = old ;x\r\nSERVER_ID=x");
}

TEST(ProfileTextTest, AMissingKeyFollowsTheLastFilledLineOfItsSection) {
    EXPECT_EQ(write_profile_entry("[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n", "a", "new", "v"),
              "[A]\r\nx=1\r\nnew=v\r\n\r\n\r\n[B]\r\ny=2\r\n");
    // At the end of a file without a final line end, and in a file of "\n" lines.
    EXPECT_EQ(write_profile_entry("[A]\nx=1\n[B]\ny=2", "B", "z", "3"),
              "[A]\nx=1\n[B]\ny=2\nz=3\n");
    EXPECT_EQ(write_profile_entry("[A]\r\n", "A", "k", "v"), "[A]\r\nk=v\r\n");
    // Comments and lines without '=' are never keys; the first of two sections is used.
    EXPECT_EQ(write_profile_entry("[A]\r\n;k=1\r\nk\r\n[A]\r\nk=2\r\n", "A", "k", "v"),
              "[A]\r\n;k=1\r\nk\r\nk=v\r\n[A]\r\nk=2\r\n");
}

TEST(ProfileTextTest, AMissingSectionIsAddedAtTheEnd) {
    EXPECT_EQ(write_profile_entry("", "Database Server", "server_name", "srv"),
              "[Database Server]\r\nserver_name=srv\r\n");
    EXPECT_EQ(write_profile_entry("[A]\r\nx=1\r\n", "B", "k", "v"),
              "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(write_profile_entry("[A]\r\nx=1", "B", "k", "v"), "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(write_profile_entry("[A]\nx=1\n\n", "B", "k", "v"), "[A]\nx=1\n\n[B]\nk=v\n");
}

class ProfileFileTest : public ::testing::Test {
protected:
    TempMachine t;
    bool write(TextView section, TextView key, TextView value, TextView file) {
        return t.machine().profiles().write_private_profile_string(section, key, value, file);
    }
};

TEST_F(ProfileFileTest, ATemplateKeepsEveryOtherByte) {
    const std::string original = to_cp949(u"; 펠토 설정\r\n[General]\r\nTitle=펠토\r\n\r\n"
                                          u"[Database Server]\r\nserver_name=old\r\n\r\n"
                                          u"[Printer]\nport=LPT1");
    t.write_file(u"C:\\Pelto_H\\bin\\Pelto.ini", original);
    const TextView ini = u"C:\\pelto_h\\BIN\\pelto.ini";
    ASSERT_TRUE(write(u"Database Server", u"server_name", u"기관서버", ini));
    ASSERT_TRUE(write(u"Database Server", u"server_pwd", u"비밀", ini));
    EXPECT_EQ(t.read_file(u"C:\\Pelto_H\\bin\\Pelto.ini"),
              to_cp949(u"; 펠토 설정\r\n[General]\r\nTitle=펠토\r\n\r\n"
                       u"[Database Server]\r\nserver_name=기관서버\r\nserver_pwd=비밀\r\n\r\n"
                       u"[Printer]\nport=LPT1"));
    EXPECT_FALSE(t.log().contains("비밀"));
}

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

TEST_F(ProfileFileTest, PermissionsStayAndReadOnlyFilesAreNotWritten) {
    t.write_file(u"C:\\a.ini", "[S]\r\nk=1\r\n");
    const fs::path host = t.host(u"C:\\a.ini");
    fs::permissions(host, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(t.machine().files().set_attributes(u"C:\\a.ini", attr::kHidden));
    ASSERT_TRUE(write(u"S", u"k", u"2", u"C:\\a.ini"));
    EXPECT_EQ(fs::status(host).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(t.machine().files().get_attributes(u"C:\\a.ini"), attr::kHidden | attr::kArchive);

    ASSERT_TRUE(t.machine().files().set_attributes(u"C:\\a.ini", attr::kReadOnly));
    EXPECT_FALSE(write(u"S", u"k", u"3", u"C:\\a.ini"));
    EXPECT_EQ(t.read_file(u"C:\\a.ini"), "[S]\r\nk=2\r\n");
}

TEST_F(ProfileFileTest, LineBreaksInTheTextWouldAddEntriesAndAreRefused) {
    t.write_file(u"C:\\a.ini", "[S]\r\nk=1\r\n");
    EXPECT_FALSE(write(u"S", u"k", u"x\r\n[Other]\r\nevil=1", u"C:\\a.ini"));
    EXPECT_FALSE(write(u"S", u"k\nz", u"x", u"C:\\a.ini"));
    EXPECT_EQ(t.read_file(u"C:\\a.ini"), "[S]\r\nk=1\r\n");
    // Nor does code page 949 text go into a UTF-16 file.
    const std::string unicode("\xFF\xFE[\0S\0]\0", 8);
    t.write_file(u"C:\\u.ini", unicode);
    EXPECT_FALSE(write(u"S", u"k", u"v", u"C:\\u.ini"));
    EXPECT_EQ(t.read_file(u"C:\\u.ini"), unicode);
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
