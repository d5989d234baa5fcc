#include "core/error.h"
#include "platform/portable/machine_portable.h"
#include "platform/portable/run_log_file.h"
#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;

// The machine root's log folder is the host's: the log makes it.
TEST(RunLogFileTest, TheLogMakesItsFolder) {
    testing::TempMachine t;
    fs::remove_all(t.root() / "log");
    FileRunLog::of_machine(t.machine().machine())->write("first step");
    EXPECT_NE(
        testing::read_host_file(t.root() / "log/PeltoUserInstall_H.log").find(" first step\n"),
        std::string::npos);
}

// A link at any name on the way to the log, or at its own name, is never followed: the
// log would be appended to a file someone else chose (a settings file, the registry store).
TEST(RunLogFileTest, ALinkAnywhereOnTheWayIsRefused) {
    testing::TempMachine t;
    testing::write_host_file(t.outside() / "victim.ini", "keep");
    t.write_file(u"C:\\Pelto_H\\bin\\Print.ini", "keep");
    fs::create_directories(t.host(u"C:\\Logs"));
    fs::create_symlink(t.host(u"C:\\Pelto_H\\bin"), t.host(u"C:\\Logs\\away"));
    fs::create_symlink(t.host(u"C:\\Pelto_H\\bin\\Print.ini"), t.host(u"C:\\Logs\\run.log"));
    const MachineRoot& machine = t.machine().machine();
    EXPECT_TRUE(FileRunLog::at(machine, u"C:\\Logs\\away\\Print.ini")->open().has_value());
    EXPECT_TRUE(FileRunLog::at(machine, u"C:\\logs\\RUN.LOG")->open().has_value());
    EXPECT_EQ(t.read_file(u"C:\\Pelto_H\\bin\\Print.ini"), "keep");
    fs::remove_all(t.root() / "log");
    fs::create_symlink(t.outside(), t.root() / "log");
    FileRunLog::of_machine(machine)->write("lost");
    EXPECT_EQ(testing::read_host_file(t.outside() / "victim.ini"), "keep");
    EXPECT_FALSE(fs::exists(t.outside() / "PeltoUserInstall_H.log"));
    // Missing folders are made, with nobody else allowed to write them.
    const auto log = FileRunLog::at(machine, u"C:\\Logs\\새\\run.log");
    EXPECT_EQ(log->open(), std::nullopt);
    EXPECT_EQ(fs::status(t.host(u"C:\\Logs\\새")).permissions() &
                  (fs::perms::group_write | fs::perms::others_write),
              fs::perms::none);
}

TEST(PortableMachineTest, MakePlatformBuildsOnTheEnvironmentsRoot) {
    testing::TempMachine t;
    ::setenv("PELTO_MACHINE_ROOT", t.root().c_str(), 1);
    const std::unique_ptr<PlatformServices> services = make_platform();
    Platform& p = services->platform();
    p.log.write("hello");
    const std::unique_ptr<Folder> c = paths(p).open_folder(u"C:\\");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(p.profiles.write_private_profile_string(*c, u"x.ini", u"S", u"k", u"v"));
    EXPECT_TRUE(fs::exists(t.root() / "drive_c/x.ini"));
    EXPECT_NE(testing::read_host_file(t.root() / "log/PeltoUserInstall_H.log").find(" hello\n"),
              std::string::npos);

    ::unsetenv("PELTO_MACHINE_ROOT");
    EXPECT_THROW(make_platform(), VbError);
}

} // namespace
} // namespace pelto::platform::portable
