#include "platform/portable/dos_attributes.h"
#include "platform/portable/filesystem_portable.h"
#include "tests/support/temp_machine.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

std::vector<Text> names(const std::vector<DirEntry>& entries) {
    std::vector<Text> out;
    out.reserve(entries.size());
    for (const DirEntry& e : entries) {
        out.push_back(e.name);
    }
    return out;
}

std::string xattr_of(const fs::path& path) {
    char value[64];
    const ssize_t n = ::lgetxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
    return n < 0 ? std::string("<none>") : std::string(value, static_cast<size_t>(n));
}

class FileSystemTest : public ::testing::Test {
protected:
    TempMachine t;
    PathFiles files() { return platform::paths(t.platform()); }
    PortableFileSystem& volumes() { return t.machine().files(); }

    // C:\d holds a normal, a read-only, a hidden and a system file, a folder and a hidden
    // folder.
    void make_mixed_folder() {
        t.write_file(u"C:\\d\\normal.txt", "n");
        t.write_file(u"C:\\d\\readonly.txt", "r");
        t.write_file(u"C:\\d\\hidden.txt", "h");
        t.write_file(u"C:\\d\\system.dat", "s");
        t.make_folder(u"C:\\d\\Sub");
        t.make_folder(u"C:\\d\\hiddensub");
        ASSERT_TRUE(files().set_attributes(u"C:\\d\\readonly.txt", attr::kReadOnly));
        ASSERT_TRUE(files().set_attributes(u"C:\\d\\hidden.txt", attr::kHidden));
        ASSERT_TRUE(files().set_attributes(u"C:\\d\\system.dat", attr::kSystem | attr::kArchive));
        ASSERT_TRUE(files().set_attributes(u"C:\\d\\hiddensub", attr::kHidden));
    }
};

// What only a machine root has: a volume root with nothing above it, and links leading off
// the machine.
TEST_F(FileSystemTest, ListingStaysOnTheMachine) {
    make_mixed_folder();
    using V = std::vector<Text>;
    // Sorted without regard to case, as NTFS lists.
    EXPECT_EQ(names(files().list(u"C:\\d\\*.*", attr::kDirectory)),
              (V{u".", u"..", u"normal.txt", u"readonly.txt", u"Sub"}));
    // The volume root has no "." and "..": nothing above it.
    EXPECT_EQ(names(files().list(u"C:\\*", attr::kDirectory)), (V{u"d"}));
    // Relative patterns and off-machine links list nothing.
    EXPECT_TRUE(files().list(u"d\\*.*", 55).empty());
    fs::create_symlink(t.outside(), t.host(u"C:\\away"));
    testing::write_host_file(t.outside() / "secret.txt", "x");
    EXPECT_TRUE(files().list(u"C:\\away\\*.*", 55).empty());
}

TEST_F(FileSystemTest, WildcardsMatchAsDos) {
    const std::array<std::tuple<const char16_t*, const char16_t*, bool>, 16> cases{{
        {u"*.*", u"README", true},
        {u"*.*", u"a.b.c", true},
        {u"*", u".", true},
        {u"*.ini", u"PELTO.INI", true},
        {u"*.ini", u"pelto.ini.bak", false},
        {u"*ini", u"x.Ini", true},
        {u"readme.*", u"readme", true},
        {u"readme.*", u"readme.txt", true},
        {u"readme.*", u"readmes", false},
        {u"*.", u"noext", true},
        {u"*.", u"has.ext", false},
        {u"?.txt", u"a.txt", true},
        {u"?.txt", u"ab.txt", false},
        {u"a*b*c", u"aXXbYYc", true},
        {u"a*b*c", u"aXXbYY", false},
        {u"*.ini", u".", false},
    }};
    for (const auto& [pattern, name, expected] : cases) {
        EXPECT_EQ(dos_name_matches(pattern, name), expected)
            << to_utf8(pattern) << " / " << to_utf8(name);
    }
}

TEST_F(FileSystemTest, AttributesAreStoredAsWineStoresThem) {
    t.write_file(u"C:\\f.txt", "x");
    t.make_folder(u"C:\\dir");
    const fs::path f = t.host(u"C:\\f.txt");
    EXPECT_EQ(files().get_attributes(u"C:\\F.TXT"), attr::kArchive); // every file
    EXPECT_EQ(files().get_attributes(u"C:\\dir"), attr::kDirectory);
    EXPECT_EQ(files().get_attributes(u"C:\\missing"), std::nullopt);

    ASSERT_TRUE(files().set_attributes(u"C:\\f.txt", attr::kHidden | attr::kSystem));
    EXPECT_EQ(xattr_of(f), "0x6");
    EXPECT_EQ(files().get_attributes(u"C:\\f.txt"), attr::kHidden | attr::kSystem | attr::kArchive);
    ASSERT_TRUE(files().set_attributes(u"C:\\f.txt", attr::kNormal));
    EXPECT_EQ(xattr_of(f), "<none>");
    EXPECT_EQ(files().get_attributes(u"C:\\f.txt"), attr::kArchive);
    ASSERT_TRUE(files().set_attributes(u"C:\\dir", attr::kHidden | attr::kReadOnly));
    EXPECT_EQ(xattr_of(t.host(u"C:\\dir")), "0x3");
    EXPECT_EQ(files().get_attributes(u"C:\\dir"),
              attr::kDirectory | attr::kHidden | attr::kReadOnly);
    EXPECT_NE(fs::status(t.host(u"C:\\dir")).permissions() & fs::perms::owner_write,
              fs::perms::none);

    // A file's read-only mark is its permission bits, both ways.
    const auto write_bits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    ASSERT_TRUE(files().set_attributes(u"C:\\f.txt", attr::kReadOnly));
    EXPECT_EQ(fs::status(f).permissions() & write_bits, fs::perms::none);
    EXPECT_EQ(xattr_of(f), "<none>");
    ASSERT_TRUE(files().set_attributes(u"C:\\f.txt", attr::kArchive));
    EXPECT_NE(fs::status(f).permissions() & fs::perms::owner_write, fs::perms::none);
    fs::permissions(f, fs::perms::owner_read);
    EXPECT_EQ(files().get_attributes(u"C:\\f.txt"), attr::kReadOnly | attr::kArchive);
    fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write);

    // Samba's form: the text, its NUL and a binary record; its read-only mark counts.
    const std::string samba("0x23\0\x03\x00\x03\x00\x23", 10);
    ASSERT_EQ(::lsetxattr(f.c_str(), "user.DOSATTRIB", samba.data(), samba.size(), 0), 0);
    EXPECT_EQ(files().get_attributes(u"C:\\f.txt"),
              attr::kReadOnly | attr::kHidden | attr::kArchive);
    ASSERT_TRUE(files().set_attributes(u"C:\\f.txt", attr::kHidden));
    EXPECT_EQ(xattr_of(f), "0x2");
    EXPECT_EQ(dos::parse_xattr("0X1F"), 0x1FU);
    EXPECT_EQ(dos::parse_xattr("garbage"), std::nullopt);
    EXPECT_EQ(dos::parse_xattr("0x"), std::nullopt);
}

TEST_F(FileSystemTest, LinksAreReparsePointsAndNeverChangedThrough) {
    testing::write_host_file(t.outside() / "target.txt", "keep");
    fs::create_symlink(t.outside(), t.host(u"C:\\dirlink"));
    fs::create_symlink(t.outside() / "target.txt", t.host(u"C:\\filelink"));
    EXPECT_EQ(files().get_attributes(u"C:\\dirlink"), attr::kReparsePoint | attr::kDirectory);
    EXPECT_EQ(files().get_attributes(u"C:\\filelink"), attr::kReparsePoint | attr::kArchive);
    EXPECT_FALSE(files().set_attributes(u"C:\\filelink", attr::kReadOnly));
    EXPECT_EQ(xattr_of(t.outside() / "target.txt"), "<none>");
    EXPECT_NE(fs::status(t.outside() / "target.txt").permissions() & fs::perms::owner_write,
              fs::perms::none);
    EXPECT_EQ(files().open_file(u"C:\\filelink", FileMode::Read), nullptr);
    EXPECT_EQ(files().open_folder(u"C:\\dirlink"), nullptr);
    const std::unique_ptr<Folder> c = files().open_folder(u"C:\\");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->open_folder(u"dirlink"), nullptr);
    EXPECT_EQ(c->open_file(u"filelink", FileMode::Read), nullptr);
    EXPECT_FALSE(c->set_attributes(u"filelink", attr::kReadOnly));
    EXPECT_FALSE(c->remove_folder(u"dirlink"));
    EXPECT_FALSE(c->remove_link(u"missing"));
    EXPECT_TRUE(c->remove_link(u"dirlink"));
    EXPECT_TRUE(c->remove_link(u"FILELINK"));
    EXPECT_FALSE(t.exists(u"C:\\dirlink"));
    EXPECT_EQ(testing::read_host_file(t.outside() / "target.txt"), "keep");
}

TEST_F(FileSystemTest, KillDeletesAFileLinkItselfAndNeverFollowsAFolderLink) {
    t.make_folder(u"C:\\d");
    testing::write_host_file(t.outside() / "target.txt", "keep");
    fs::create_symlink(t.outside() / "target.txt", t.host(u"C:\\d\\link.txt"));
    fs::create_symlink(t.outside(), t.host(u"C:\\d\\dirlink.txt"));
    EXPECT_TRUE(files().delete_files(u"C:\\d\\*.txt"));
    EXPECT_FALSE(t.exists(u"C:\\d\\link.txt"));
    EXPECT_TRUE(t.exists(u"C:\\d\\dirlink.txt"));
    EXPECT_EQ(testing::read_host_file(t.outside() / "target.txt"), "keep");
}

TEST_F(FileSystemTest, ProgramFolderComesFromTheEnvironment) {
    ::unsetenv("PELTO_PROGRAM_FOLDER");
    EXPECT_EQ(volumes().program_folder(), u"C:\\PeltoUserInstall_H");
    ::setenv("PELTO_PROGRAM_FOLDER", "D:\\Apps\\펠토\\", 1);
    EXPECT_EQ(volumes().program_folder(), u"D:\\Apps\\펠토");
    ::setenv("PELTO_PROGRAM_FOLDER", "D:\\", 1);
    EXPECT_EQ(volumes().program_folder(), u"D:\\");
    ::unsetenv("PELTO_PROGRAM_FOLDER");
}

// Support staff read why a step failed: the refused call, the Windows path and the
// system's own number and text, with the host path in brackets.
TEST_F(FileSystemTest, ARefusedCallIsLoggedWithItsPathAndReason) {
    t.write_file(u"C:\\Pelto_H\\bin\\Pelto.ini", "x");
    const fs::path ini = t.host(u"C:\\Pelto_H\\bin\\Pelto.ini");
    const auto line_for = [&](const std::string& call, const std::string& windows_path,
                              const fs::path& host, int error_number) {
        return call + " failed on " + windows_path + " [" + host.native() +
               "]: " + std::strerror(error_number) + " (errno " + std::to_string(error_number) +
               ")";
    };

    // A folder that is not empty cannot be removed.
    EXPECT_FALSE(files().open_folder(u"C:\\pelto_h")->remove_folder(u"BIN"));
    ASSERT_EQ(t.log().lines().size(), 1U);
    EXPECT_EQ(t.log().lines()[0],
              line_for("unlinkat", "C:\\pelto_h\\BIN", ini.parent_path(), ENOTEMPTY));
    t.log().clear();

    // A file the system will not let go: immutable (root ignores permission bits), or in
    // a folder without write permission for anyone else.
    int refusal = EPERM;
    if (!testing::set_immutable(ini, true)) {
        if (::geteuid() == 0) {
            GTEST_SKIP() << "no way to make a file undeletable here";
        }
        fs::permissions(ini.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        refusal = EACCES;
    }
    EXPECT_FALSE(files().delete_files(u"C:\\Pelto_H\\bin\\*.ini"));
    ASSERT_EQ(t.log().lines().size(), 1U);
    EXPECT_EQ(t.log().lines()[0],
              line_for("unlinkat", "C:\\Pelto_H\\bin\\Pelto.ini", ini, refusal));
    if (refusal == EPERM) {
        t.log().clear();
        EXPECT_FALSE(files().set_attributes(u"C:\\Pelto_H\\bin\\Pelto.ini", attr::kReadOnly));
        ASSERT_EQ(t.log().lines().size(), 1U);
        EXPECT_EQ(t.log().lines()[0],
                  line_for("fchmod", "C:\\Pelto_H\\bin\\Pelto.ini", ini, EPERM));
    }
}

// Looking for something that is not there is an answer, not a failure: nothing logged.
TEST_F(FileSystemTest, LookingForWhatIsMissingLogsNothing) {
    t.make_folder(u"C:\\Pelto_H");
    EXPECT_TRUE(files().list(u"C:\\Pelto_H\\Resource\\*.*", attr::kDirectory).empty());
    EXPECT_TRUE(files().list(u"C:\\Pelto_H\\Resource", attr::kDirectory).empty());
    EXPECT_EQ(files().get_attributes(u"C:\\Pelto_H\\Resource"), std::nullopt);
    EXPECT_EQ(files().open_file(u"C:\\Pelto_H\\bin\\Pelto.ini", FileMode::Read), nullptr);
    EXPECT_FALSE(files().delete_files(u"C:\\Pelto_H\\bin\\*.ini"));
    EXPECT_EQ(t.log().lines(), std::vector<std::string>{});
}

} // namespace
} // namespace pelto::platform::portable
