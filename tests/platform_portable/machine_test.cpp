#include "core/error.h"
#include "platform/portable/portable_machine.h"
#include "platform/portable/run_log_file.h"
#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;

// The machine root's log folder is the host's: the log makes it, where the Windows log
// writes only into a folder that exists.
TEST(RunLogFileTest, TheLogMakesItsFolder) {
    testing::TempMachine t;
    const fs::path path = t.outside() / "log" / "deep" / "run.log";
    FileRunLog(path).write("first step");
    EXPECT_NE(testing::read_host_file(path).find(" first step\n"), std::string::npos);
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
