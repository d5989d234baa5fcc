#include "installer/mdl_functions.h"
#include "platform/codepage.h"
#include "tests/support/swap_after_open.h"
#include "tests/support/temp_machine.h"

#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pelto {
namespace {

namespace fs = std::filesystem;
namespace attr = platform::attr;
using testing::TempMachine;

class DeleteFolderTest : public ::testing::Test {
protected:
    TempMachine t;
    platform::PathFiles files() { return platform::paths(t.platform()); }
    bool delete_folder(TextView path) { return mdl함수::fG_DeleteFolder(t.platform(), Text(path)); }

    // C:\Pelto_H\Resource with hidden, read-only and system files, nested folders (one
    // read-only itself) and Korean names.
    void make_resource_tree() {
        t.write_file(u"C:\\Pelto_H\\Resource\\a.bmp", "a");
        t.write_file(u"C:\\Pelto_H\\Resource\\hidden.dat", "h");
        t.write_file(u"C:\\Pelto_H\\Resource\\readonly.dat", "r");
        t.write_file(u"C:\\Pelto_H\\Resource\\Thumbs.db", "s");
        t.write_file(u"C:\\Pelto_H\\Resource\\Img\\양식\\서식.rpt", "k");
        t.write_file(u"C:\\Pelto_H\\Resource\\Img\\양식\\깊은\\x.txt", "x");
        t.write_file(u"C:\\Pelto_H\\Resource\\Img\\hid.ini", "x");
        t.make_folder(u"C:\\Pelto_H\\Resource\\Empty");
        ASSERT_TRUE(files().set_attributes(u"C:\\Pelto_H\\Resource\\hidden.dat", attr::kHidden));
        ASSERT_TRUE(
            files().set_attributes(u"C:\\Pelto_H\\Resource\\readonly.dat", attr::kReadOnly));
        ASSERT_TRUE(files().set_attributes(u"C:\\Pelto_H\\Resource\\Thumbs.db",
                                           attr::kHidden | attr::kSystem | attr::kReadOnly));
        ASSERT_TRUE(files().set_attributes(u"C:\\Pelto_H\\Resource\\Img\\hid.ini", attr::kHidden));
        ASSERT_TRUE(files().set_attributes(u"C:\\Pelto_H\\Resource\\Img\\양식", attr::kReadOnly));
    }
};

TEST_F(DeleteFolderTest, ARelativePathNamesNothingOnTheMachine) {
    EXPECT_FALSE(delete_folder(u"relative\\path"));
}

TEST_F(DeleteFolderTest, AnEmptyFolderIsRemovedWithoutAnyFileDeletion) {
    t.make_folder(u"C:\\Empty");
    EXPECT_TRUE(delete_folder(u"C:\\Empty"));
    EXPECT_FALSE(t.exists(u"C:\\Empty"));
    EXPECT_FALSE(t.log().contains("Kill"));
}

TEST_F(DeleteFolderTest, LinksAreRemovedAsLinksAndNeverFollowed) {
    const fs::path away = t.outside() / "away";
    testing::write_host_file(away / "precious.txt", "keep");
    testing::write_host_file(away / "sub" / "deep.txt", "keep");
    testing::write_host_file(t.outside() / "single.txt", "keep");
    t.write_file(u"C:\\Pelto_H\\Resource\\Img\\f.txt", "x");
    fs::create_symlink(away, t.host(u"C:\\Pelto_H\\Resource\\dirlink"));
    fs::create_symlink(t.outside() / "single.txt", t.host(u"C:\\Pelto_H\\Resource\\Img\\filelink"));
    fs::create_symlink(t.outside() / "gone", t.host(u"C:\\Pelto_H\\Resource\\dangling"));
    // A link to a folder of the machine itself, outside the tree.
    t.write_file(u"C:\\Other\\keep.txt", "keep");
    fs::create_symlink(t.host(u"C:\\Other"), t.host(u"C:\\Pelto_H\\Resource\\Img\\other"));

    EXPECT_TRUE(delete_folder(u"C:\\Pelto_H\\Resource"));
    EXPECT_FALSE(t.exists(u"C:\\Pelto_H\\Resource"));
    EXPECT_EQ(testing::read_host_file(away / "precious.txt"), "keep");
    EXPECT_EQ(testing::read_host_file(away / "sub" / "deep.txt"), "keep");
    EXPECT_EQ(testing::read_host_file(t.outside() / "single.txt"), "keep");
    EXPECT_EQ(t.read_file(u"C:\\Other\\keep.txt"), "keep");

    // The folder named is itself a link: the link goes, its target stays.
    fs::create_symlink(t.host(u"C:\\Other"), t.host(u"C:\\Pelto_H\\Resource"));
    EXPECT_TRUE(delete_folder(u"C:\\Pelto_H\\Resource"));
    EXPECT_FALSE(t.exists(u"C:\\Pelto_H\\Resource"));
    EXPECT_EQ(t.read_file(u"C:\\Other\\keep.txt"), "keep");
}

// Another user swaps a folder of the tree for a link at the worst moment: right after the
// run has opened it, it is moved away and a link to another folder of the machine takes
// its name.
TEST_F(DeleteFolderTest, ALinkSwappedInAfterTheLookIsNeverFollowed) {
    t.write_file(u"C:\\Pelto_H\\Resource\\Img\\f.txt", "x");
    t.write_file(u"C:\\Windows\\System32\\keep.dll", "keep");
    const fs::perms mode = fs::status(t.host(u"C:\\Windows\\System32\\keep.dll")).permissions();
    const Text img = u"C:\\Pelto_H\\Resource\\Img";
    testing::SwapAfterOpen swapping(t.platform().files, img, [&] {
        fs::rename(t.host(img), t.host(u"C:\\Pelto_H\\Resource\\moved"));
        fs::create_directory_symlink(t.host(u"C:\\Windows\\System32"), t.host(img));
    });
    platform::Platform p = platform::with_services(t.platform(), {.files = &swapping});
    mdl함수::fG_DeleteFolder(p, u"C:\\Pelto_H\\Resource");
    ASSERT_TRUE(swapping.fired());
    EXPECT_EQ(t.read_file(u"C:\\Windows\\System32\\keep.dll"), "keep");
    EXPECT_EQ(fs::status(t.host(u"C:\\Windows\\System32\\keep.dll")).permissions(), mode);
    EXPECT_FALSE(t.exists(u"C:\\Pelto_H\\Resource\\moved\\f.txt"));
}

class BinIniTest : public ::testing::Test {
protected:
    TempMachine t;
};

TEST_F(BinIniTest, OnlyNamesEndingInLowerCaseIniGo) {
    for (const TextView name : {u"Pelto.ini", u"other.ini", u"ini", u"x.Ini", u"UPPER.INI",
                                u"notes.txt", u"hidden.ini", u"a.inix"}) {
        t.write_file(Text(u"C:\\Pelto_H\\bin\\") + Text(name), "x");
    }
    t.make_folder(u"C:\\Pelto_H\\bin\\dir.ini");
    testing::write_host_file(t.root() / "drive_c/Pelto_H/bin/wild*.ini", "x");
    ASSERT_TRUE(platform::paths(t.platform())
                    .set_attributes(u"C:\\Pelto_H\\bin\\hidden.ini", attr::kHidden));

    mdl함수::sG_DeleteBinIniFiles(t.platform());
    for (const TextView gone : {u"Pelto.ini", u"other.ini", u"ini"}) {
        EXPECT_FALSE(t.exists(Text(u"C:\\Pelto_H\\bin\\") + Text(gone))) << to_utf8(gone);
    }
    for (const TextView kept :
         {u"x.Ini", u"UPPER.INI", u"notes.txt", u"hidden.ini", u"a.inix", u"dir.ini"}) {
        EXPECT_TRUE(t.exists(Text(u"C:\\Pelto_H\\bin\\") + Text(kept))) << to_utf8(kept);
    }
    // A host name with a wildcard would, as a pattern, name files that must stay.
    EXPECT_TRUE(fs::exists(t.root() / "drive_c/Pelto_H/bin/wild*.ini"));
}

TEST_F(BinIniTest, AMissingFolderDoesNothing) {
    mdl함수::sG_DeleteBinIniFiles(t.platform());
    EXPECT_FALSE(t.exists(u"C:\\Pelto_H"));
}

class WriteIniTest : public ::testing::Test {
protected:
    TempMachine t;
};

TEST_F(WriteIniTest, AMissingFolderGetsNothingAndANameWithoutOneIsInTheWindowsFolder) {
    EXPECT_TRUE(mdl함수::fG_WriteIni(t.platform(), u"Database Server", u"server_name", u"srv",
                                     u"C:\\Missing\\Pelto.ini"));
    EXPECT_FALSE(t.exists(u"C:\\Missing"));
    EXPECT_TRUE(t.log().contains("C:\\Missing is not there"));
    EXPECT_TRUE(mdl함수::fG_WriteIni(t.platform(), u"S", u"k", u"v", u"win.ini"));
    EXPECT_FALSE(t.exists(u"C:\\Windows\\win.ini"));
    t.make_folder(u"C:\\Windows");
    EXPECT_TRUE(mdl함수::fG_WriteIni(t.platform(), u"S", u"k", u"v", u"win.ini"));
    EXPECT_TRUE(t.exists(u"C:\\Windows\\win.ini"));
}

class ThrowingProfiles final : public platform::ProfileFiles {
public:
    bool write_private_profile_strings(platform::Folder&, TextView, TextView,
                                       std::span<const platform::ProfileEntry>) override {
        throw std::runtime_error("the profile service is gone");
    }
};

TEST_F(WriteIniTest, FalseOnlyWhenTheCallItselfRaises) {
    ThrowingProfiles profiles;
    platform::Platform p = platform::with_services(t.platform(), {.profiles = &profiles});
    EXPECT_FALSE(mdl함수::fG_WriteIni(p, u"S", u"k", u"v", u"C:\\x.ini"));
}

class RecordingProfiles final : public platform::ProfileFiles {
public:
    int calls = 0;
    bool write_private_profile_strings(platform::Folder&, TextView, TextView,
                                       std::span<const platform::ProfileEntry>) override {
        ++calls;
        return true;
    }
};

TEST_F(WriteIniTest, ALineBreakOrNulNeverReachesTheProfileService) {
    RecordingProfiles profiles;
    platform::Platform p = platform::with_services(t.platform(), {.profiles = &profiles});
    const Text ini = u"C:\\Pelto_H\\bin\\Pelto.ini";
    t.make_folder(u"C:\\Pelto_H\\bin");
    const Text nul(u"pw\0tail", 7);
    EXPECT_TRUE(
        mdl함수::fG_WriteIni(p, u"Database Server", u"server_pwd", u"x\r\nserver_name=evil", ini));
    EXPECT_TRUE(mdl함수::fG_WriteIni(p, u"Database Server", u"server_pwd", u"x\ny=1", ini));
    EXPECT_TRUE(mdl함수::fG_WriteIni(p, u"Database Server", u"server_pwd", nul, ini));
    EXPECT_TRUE(mdl함수::fG_WriteIni(p, u"Database\rServer", u"k", u"v", ini));
    EXPECT_TRUE(mdl함수::fG_WriteIni(p, u"Database Server", u"k\n", u"v", ini));
    EXPECT_EQ(profiles.calls, 0);
    EXPECT_FALSE(t.log().contains("evil"));
    EXPECT_FALSE(t.log().contains("tail"));
    EXPECT_TRUE(mdl함수::fG_WriteIni(p, u"Database Server", u"server_pwd", u"plain", ini));
    EXPECT_EQ(profiles.calls, 1);
}

} // namespace
} // namespace pelto
