#include "platform/codepage.h"
#include "platform/profile_rules.h"
#include "platform/windows_path.h"
#include "tests/support/temp_machine.h"

#include <gtest/gtest.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

class ProfileFileTest : public ::testing::Test {
protected:
    TempMachine t;
    // The write into the file's folder, held open as the run holds it.
    bool write(TextView section, TextView key, TextView value, TextView file) {
        const std::optional<FolderAndName> at = split_folder_and_name(file);
        const std::unique_ptr<Folder> folder = paths(t.platform()).open_folder(at->folder);
        return folder && t.platform().profiles.write_private_profile_string(*folder, at->name,
                                                                            section, key, value);
    }
};

TEST_F(ProfileFileTest, AMissingFileIsCreated) {
    t.make_folder(u"C:\\Pelto_H\\bin");
    ASSERT_TRUE(write(u"Database Server", u"server_name", u"srv", u"C:\\Pelto_H\\bin\\Pelto.ini"));
    EXPECT_EQ(t.read_file(u"C:\\Pelto_H\\bin\\Pelto.ini"),
              "[Database Server]\r\nserver_name=srv\r\n");
    EXPECT_EQ(fs::status(t.host(u"C:\\Pelto_H\\bin\\Pelto.ini")).permissions() &
                  fs::perms::owner_write,
              fs::perms::owner_write);
}

TEST_F(ProfileFileTest, PermissionsAndDosAttributesStay) {
    t.write_file(u"C:\\a.ini", "[S]\r\nk=1\r\n");
    const fs::path host = t.host(u"C:\\a.ini");
    fs::permissions(host, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(paths(t.platform()).set_attributes(u"C:\\a.ini", attr::kHidden));
    ASSERT_TRUE(write(u"S", u"k", u"2", u"C:\\a.ini"));
    EXPECT_EQ(fs::status(host).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(paths(t.platform()).get_attributes(u"C:\\a.ini"), attr::kHidden | attr::kArchive);
}

// A settings file is written only as itself: through a link or a second name the run
// would write some other file (the institution's password into it).
TEST_F(ProfileFileTest, ALinkOrASecondNameIsNeverWrittenThrough) {
    t.write_file(u"C:\\real.ini", "[S]\r\n");
    fs::create_symlink(t.host(u"C:\\real.ini"), t.host(u"C:\\link.ini"));
    testing::write_host_file(t.outside() / "away.ini", "[S]\r\n");
    fs::create_symlink(t.outside() / "away.ini", t.host(u"C:\\away.ini"));
    fs::create_hard_link(t.host(u"C:\\real.ini"), t.host(u"C:\\second.ini"));
    EXPECT_FALSE(write(u"S", u"k", u"v", u"C:\\link.ini"));
    EXPECT_FALSE(write(u"S", u"k", u"v", u"C:\\away.ini"));
    EXPECT_FALSE(write(u"S", u"k", u"v", u"C:\\second.ini"));
    EXPECT_TRUE(fs::is_symlink(t.host(u"C:\\link.ini")));
    EXPECT_EQ(t.read_file(u"C:\\real.ini"), "[S]\r\n");
    EXPECT_EQ(testing::read_host_file(t.outside() / "away.ini"), "[S]\r\n");
}

} // namespace
} // namespace pelto::platform::portable
