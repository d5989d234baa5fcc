// The wait on a started program names in the run log what the program left running,
// and does not wait for it.
#include "tests/support/temp_machine.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pelto::platform::portable {
namespace {

constexpr TextView kInstaller = u"C:\\펠토사용자설치\\installpelto_H.exe";

void write_program(testing::TempMachine& t, std::string_view script) {
    t.write_file(kInstaller, script);
    ::chmod(t.host(kInstaller).c_str(), 0755);
}

TEST(ProcessGroupTest, ProgramsLeftRunningAreNamedAndNotWaitedFor) {
    testing::TempMachine t;
    // A bootstrapper: starts a second program and ends at once.
    write_program(t, "#!/bin/sh\nsleep 3 &\nexit 3\n");
    const auto started = std::chrono::steady_clock::now();
    const auto process = t.platform().processes.start(kInstaller, kShowNormalFocus);
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(3));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));

    const std::string prefix = "C:\\펠토사용자설치\\installpelto_H.exe has ended and left "
                               "running what it started: sleep (process ";
    std::string line;
    for (const std::string& l : t.log().lines()) {
        if (l.starts_with(prefix)) {
            line = l;
        }
    }
    ASSERT_FALSE(line.empty()) << "no line names the program left running";
    const pid_t left = std::atoi(line.c_str() + prefix.size());
    ASSERT_GT(left, 1);
    ::kill(left, SIGTERM);

    // A program that starts nothing leaves no such line.
    t.log().clear();
    write_program(t, "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(t.platform().processes.start(kInstaller, kShowNormalFocus)->wait_for_exit(),
              std::optional<uint32_t>(0));
    EXPECT_FALSE(t.log().contains("left running")) << t.log().lines().size();
}

} // namespace
} // namespace pelto::platform::portable
