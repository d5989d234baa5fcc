// The wait on a started program names in the run log what the program left running,
// and does not wait for it.
#include "tests/support/temp_machine.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

    // The name is "sleep", or still "sh" when the scan came before the exec.
    const std::string prefix = "C:\\펠토사용자설치\\installpelto_H.exe has ended and left "
                               "running what it started: ";
    std::string line;
    for (const std::string& l : t.log().lines()) {
        if (l.starts_with(prefix)) {
            line = l;
        }
    }
    ASSERT_FALSE(line.empty()) << "no line names the program left running";
    const size_t id = line.find(" (process ", prefix.size());
    ASSERT_NE(id, std::string::npos) << line;
    const pid_t left = std::atoi(line.c_str() + id + 10);
    ASSERT_GT(left, 1);
    ::kill(left, SIGTERM);

    // A program that starts nothing leaves no such line.
    t.log().clear();
    write_program(t, "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(t.platform().processes.start(kInstaller, kShowNormalFocus)->wait_for_exit(),
              std::optional<uint32_t>(0));
    EXPECT_FALSE(t.log().contains("left running")) << t.log().lines().back();
}

// Its own process group must not make the program a background job of the terminal the
// run was started from: one that reads its input there would be stopped for good.
TEST(ProcessGroupTest, AProgramGetsTheTerminalWhileTheRunWaits) {
    testing::TempMachine t;
    write_program(t, "#!/bin/sh\nread line\necho \"$line\" >\"$0.out\"\n");
    int terminal = -1;
    const pid_t run = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(run, 0);
    if (run == 0) { // the run, with the new terminal as its own
        const auto code =
            t.platform().processes.start(kInstaller, kShowNormalFocus)->wait_for_exit();
        ::_exit(code == std::optional<uint32_t>(0) ? 0 : 1);
    }
    ASSERT_EQ(::write(terminal, "typed\n", 6), 6);
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(run, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
        char echo[256];
        pollfd in{terminal, POLLIN, 0};
        if (::poll(&in, 1, 100) > 0 && ::read(terminal, echo, sizeof echo) <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the run's side closed
        }
    }
    if (status == -1) {
        ::kill(-run, SIGKILL);
        ::kill(run, SIGKILL);
        ::waitpid(run, &status, 0);
        ::close(terminal);
        FAIL() << "the run still waits: the program is stopped at its read";
    }
    ::close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream out(t.host(kInstaller).string() + ".out");
    std::string line;
    std::getline(out, line);
    EXPECT_EQ(line, "typed");
}

} // namespace
} // namespace pelto::platform::portable
