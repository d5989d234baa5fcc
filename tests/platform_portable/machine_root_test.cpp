#include "core/error.h"
#include "platform/portable/machine_root.h"
#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

class MachineRootTest : public ::testing::Test {
protected:
    TempMachine t;
    const MachineRoot& root() { return t.machine().machine(); }
    fs::path mapped(TextView path) { return root().to_host(path).value_or(fs::path("<none>")); }
};

TEST_F(MachineRootTest, MapsDrivesAndSharesOntoTheirFolders) {
    const fs::path r = t.root();
    EXPECT_EQ(mapped(u"C:\\Pelto_H\\bin"), r / "drive_c/Pelto_H/bin");
    EXPECT_EQ(mapped(u"c:/Pelto_H/bin/"), r / "drive_c/Pelto_H/bin");
    EXPECT_EQ(mapped(u"C:\\"), r / "drive_c");
    EXPECT_EQ(mapped(u"C:"), r / "drive_c");
    EXPECT_EQ(mapped(u"D:\\x"), r / "drive_d/x");
    EXPECT_EQ(mapped(u"\\\\Host\\Share\\dir\\f.exe"), r / "unc/Host/Share/dir/f.exe");
    EXPECT_EQ(mapped(u"\\\\?\\C:\\x"), r / "drive_c/x");
    EXPECT_EQ(mapped(u"\\\\?\\UNC\\Host\\Share\\x"), r / "unc/Host/Share/x");
    EXPECT_EQ(mapped(u"C:\\펠토사용자설치\\a.exe"), r / "drive_c/펠토사용자설치/a.exe");
}

TEST_F(MachineRootTest, ExistingEntriesAreFoundWithoutRegardToCase) {
    const fs::path r = t.root();
    fs::create_directories(r / "drive_c/Pelto_H/Bin");
    fs::create_directories(r / "unc/server01/Update");
    testing::write_host_file(r / "drive_c/Pelto_H/Bin/Pelto.ini", "");
    EXPECT_EQ(mapped(u"C:\\PELTO_H\\bin\\PELTO.INI"), r / "drive_c/Pelto_H/Bin/Pelto.ini");
    EXPECT_EQ(mapped(u"c:\\pelto_h\\BIN\\new.ini"), r / "drive_c/Pelto_H/Bin/new.ini");
    EXPECT_EQ(mapped(u"\\\\SERVER01\\update\\x"), r / "unc/server01/Update/x");
    // Two spellings on the host: the exact one wins, else always the same one.
    fs::create_directories(r / "drive_c/Data");
    fs::create_directories(r / "drive_c/data");
    EXPECT_EQ(mapped(u"C:\\data"), r / "drive_c/data");
    EXPECT_EQ(mapped(u"C:\\Data"), r / "drive_c/Data");
    EXPECT_EQ(mapped(u"C:\\DATA"), r / "drive_c/Data");
}

TEST_F(MachineRootTest, RefusesPathsThatAreNotAbsoluteOrNotValidNames) {
    for (const TextView path :
         {u"Pelto_H\\bin", u"\\Pelto_H", u"", u"\\\\host", u"\\\\host\\", u"C:\\a*b", u"C:\\a?b",
          u"C:\\a|b", u"C:\\f.txt:stream", u"\\\\..\\share\\x"}) {
        EXPECT_FALSE(root().to_host(path)) << to_utf8(path);
    }
}

TEST_F(MachineRootTest, DotDotIsResolvedInsideTheVolume) {
    const fs::path r = t.root();
    EXPECT_EQ(mapped(u"C:\\..\\..\\etc\\passwd"), r / "drive_c/etc/passwd");
    EXPECT_EQ(mapped(u"C:\\a\\b\\..\\..\\..\\c"), r / "drive_c/c");
    EXPECT_EQ(mapped(u"C:\\a\\.\\b\\..\\c"), r / "drive_c/a/c");
    EXPECT_EQ(mapped(u"\\\\h\\s\\..\\..\\x"), r / "unc/h/s/x");
    // Windows drops trailing dots and spaces of a name.
    EXPECT_EQ(mapped(u"C:\\a.\\b "), r / "drive_c/a/b");
}

TEST_F(MachineRootTest, LinksAreFollowedOnlyWhileTheyStayOnTheMachine) {
    const fs::path r = t.root();
    fs::create_directories(r / "drive_d/target");
    fs::create_symlink(r / "drive_d/target", r / "drive_c/inside");
    fs::create_symlink("../drive_d/target", r / "drive_c/relative");
    fs::create_symlink(t.outside(), r / "drive_c/outside");
    fs::create_symlink("../../../..", r / "drive_c/up");
    fs::create_symlink(t.outside() / "not-yet", r / "drive_c/dangling");
    fs::create_symlink(r / "drive_c/loop2", r / "drive_c/loop1");
    fs::create_symlink(r / "drive_c/loop1", r / "drive_c/loop2");

    EXPECT_EQ(mapped(u"C:\\inside\\f.txt"), r / "drive_d/target/f.txt");
    EXPECT_EQ(mapped(u"C:\\Relative\\f.txt"), r / "drive_d/target/f.txt");
    EXPECT_FALSE(root().to_host(u"C:\\outside\\f.txt"));
    EXPECT_FALSE(root().to_host(u"C:\\up\\etc"));
    EXPECT_FALSE(root().to_host(u"C:\\dangling\\f.txt"));
    EXPECT_FALSE(root().to_host(u"C:\\loop1\\x"));
    // The last name is the entry itself: a link is reported, not entered.
    EXPECT_EQ(mapped(u"C:\\outside"), r / "drive_c/outside");

    EXPECT_EQ(root().follow_links(r / "drive_c/inside/x"), r / "drive_d/target/x");
    EXPECT_FALSE(root().follow_links(r / "drive_c/outside"));
    EXPECT_FALSE(root().follow_links(r / "drive_c/dangling"));
    EXPECT_FALSE(root().follow_links(r / "drive_c/loop1"));
}

TEST_F(MachineRootTest, HostPathsReadBackAsWindowsPaths) {
    const fs::path r = t.root();
    EXPECT_EQ(root().to_windows(r / "drive_c/Pelto_H/bin"), Text(u"C:\\Pelto_H\\bin"));
    EXPECT_EQ(root().to_windows(r / "drive_c"), Text(u"C:\\"));
    EXPECT_EQ(root().to_windows(r / "unc/host/share/x"), Text(u"\\\\host\\share\\x"));
    EXPECT_EQ(root().to_windows(r / "drive_c/a/../펠토"), Text(u"C:\\펠토"));
    EXPECT_FALSE(root().to_windows(r / "registry/HKEY_LOCAL_MACHINE.reg"));
    EXPECT_FALSE(root().to_windows(t.outside()));
    EXPECT_TRUE(root().is_volume_root(r / "drive_c"));
    EXPECT_TRUE(root().is_volume_root(r / "unc/h/s"));
    EXPECT_FALSE(root().is_volume_root(r / "drive_c/x"));
    EXPECT_FALSE(root().is_volume_root(r));
}

class Environment {
public:
    explicit Environment(const char* value) {
        if (const char* old = std::getenv("PELTO_MACHINE_ROOT")) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv("PELTO_MACHINE_ROOT", value, 1);
        } else {
            ::unsetenv("PELTO_MACHINE_ROOT");
        }
    }
    ~Environment() {
        if (old_) {
            ::setenv("PELTO_MACHINE_ROOT", old_->c_str(), 1);
        } else {
            ::unsetenv("PELTO_MACHINE_ROOT");
        }
    }

private:
    std::optional<std::string> old_;
};

std::string error_text_of(const char* value) {
    const Environment env(value);
    try {
        MachineRoot::from_environment();
    } catch (const VbError& e) {
        return to_utf8(e.error().description);
    }
    return "no error";
}

TEST_F(MachineRootTest, EnvironmentNamesTheRootOrTheProblem) {
    EXPECT_NE(error_text_of(nullptr).find("PELTO_MACHINE_ROOT is not set"), std::string::npos);
    EXPECT_NE(error_text_of("").find("PELTO_MACHINE_ROOT"), std::string::npos);
    const fs::path file = t.outside() / "file";
    testing::write_host_file(file, "x");
    EXPECT_NE(error_text_of(file.c_str()).find("PELTO_MACHINE_ROOT=" + file.native()),
              std::string::npos);
    const Environment env(t.root().c_str());
    EXPECT_EQ(MachineRoot::from_environment().root(), t.root());
}

} // namespace
} // namespace pelto::platform::portable
