// What only the mapped machine's programs have: a path that would leave the machine, the
// executable bit, a program ended by a signal, and the terminal the run was started from.
#include "core/error.h"
#include "platform/portable/process_terminal.h"
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

// Its own process group must not make the program a background job of the terminal the
// run was started from: one that reads its input there would be stopped for good.
TEST(ProcessGroupTest, AProgramGetsTheTerminalWhileTheRunWaits) {
    testing::TempMachine t;
    write_program(t, "#!/bin/sh\nread line\necho \"$line\" >\"$0.out\"\n");
    int terminal = -1;
    const pid_t run = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(run, 0);
    if (run == 0) { // the run, with the test's new pseudo-terminal as its own
        ProcessTerminal own;
        const HeldRunClaim no_claim;
        PortableProcesses processes(t.machine().machine(), t.log(), own, no_claim);
        const auto code = processes.start(kInstaller, kShowNormalFocus, u"C:\\")->wait_for_exit();
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

int32_t start_error(testing::TempMachine& t, TextView path) {
    try {
        t.platform().processes.start(path, kShowNormalFocus, u"C:\\");
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

TEST(ProgramStartTest, WhatCannotRunOnThisMachineIsRefusedAsShellRefusesIt) {
    testing::TempMachine t;
    EXPECT_EQ(start_error(t, u"C:\\..\\..\\outside.exe"), vberr::kFileNotFound);
    // Without the executable bit, or not a program for this system.
    t.write_file(kInstaller, "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(start_error(t, kInstaller), vberr::kInvalidProcedureCall);
    write_program(t, "MZ not a program for this system\n");
    EXPECT_EQ(start_error(t, kInstaller), vberr::kInvalidProcedureCall);
}

TEST(ProgramStartTest, AProgramEndedByASignalGivesTheShellsCode) {
    testing::TempMachine t;
    write_program(t, "#!/bin/sh\nkill -TERM $$\n");
    const auto process = t.platform().processes.start(kInstaller, kShowNormalFocus, u"C:\\");
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(128 + 15));
}

} // namespace
} // namespace pelto::platform::portable
