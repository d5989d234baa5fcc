#include "core/error.h"
#include "platform/portable/portable_machine.h"
#include "platform/portable/run_log_file.h"
#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;

TEST(RunLogFileTest, AppendsTimeStampedLinesAndCreatesItsFolder) {
    testing::TempMachine t;
    const fs::path path = t.outside() / "log" / "deep" / "run.log";
    {
        FileRunLog log(path);
        log.write("first step");
        log.write("two\nlines");
    }
    FileRunLog(path).write("again");
    const std::string text = testing::read_host_file(path);
    const std::regex line(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (first step|two lines|again)\n)");
    std::string rest = text;
    int count = 0;
    std::smatch m;
    while (std::regex_search(rest, m, line, std::regex_constants::match_continuous)) {
        rest = m.suffix();
        ++count;
    }
    EXPECT_EQ(count, 3) << text;
    EXPECT_TRUE(rest.empty()) << text;

    // A log that cannot be opened costs the run nothing.
    testing::write_host_file(t.outside() / "file", "");
    FileRunLog broken(t.outside() / "file" / "run.log");
    broken.write("lost");
    broken.write("lost too");
}

TEST(PortableMachineTest, MakePlatformBuildsOnTheEnvironmentsRoot) {
    testing::TempMachine t;
    ::setenv("PELTO_MACHINE_ROOT", t.root().c_str(), 1);
    const std::unique_ptr<PlatformServices> services = make_platform();
    Platform& p = services->platform();
    p.log.write("hello");
    EXPECT_TRUE(p.profiles.write_private_profile_string(u"S", u"k", u"v", u"C:\\x.ini"));
    EXPECT_TRUE(fs::exists(t.root() / "drive_c/x.ini"));
    EXPECT_NE(testing::read_host_file(t.root() / "log/PeltoUserInstall_H.log").find(" hello\n"),
              std::string::npos);

    ::unsetenv("PELTO_MACHINE_ROOT");
    EXPECT_THROW(make_platform(), VbError);
}

} // namespace
} // namespace pelto::platform::portable
