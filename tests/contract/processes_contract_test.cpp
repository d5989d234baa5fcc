// Starting the installer and updater and waiting for them: the wait holds on the program
// itself, sees its exit code however early it ended, and names what it left running.
#include "core/error.h"
#include "tests/contract/contract_machine.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace pelto::contract {
namespace {

using std::chrono::milliseconds;

class ProcessesContract : public ::testing::Test {
protected:
    std::unique_ptr<platform::Process> start(TextView path) {
        return m.platform().processes.start(path, platform::kShowNormalFocus, m.path());
    }
    // The VB error number the start raised, 0 when it started.
    int32_t start_error(TextView path, std::optional<Text> working_folder = std::nullopt) {
        try {
            m.platform().processes.start(path, platform::kShowNormalFocus,
                                         working_folder.value_or(m.path()));
        } catch (const VbError& e) {
            return e.number();
        }
        return 0;
    }
    ContractMachine m;
};

TEST_F(ProcessesContract, TheWaitEndsWithTheProgramAndGivesItsExitCode) {
    if (const auto why = m.why_the_plan_cannot_show(RealEffect::ProgramRuns)) {
        GTEST_SKIP() << *why;
    }
    m.make_folder(m.path(u"펠토사용자설치"));
    const Text program = m.path(u"펠토사용자설치\\installpelto_H.exe");
    m.make_program(program, 42);
    // The path in other letter case reaches the same program.
    const auto process = start(m.path(u"펠토사용자설치\\INSTALLPELTO_H.EXE"));
    ASSERT_NE(process, nullptr);
    EXPECT_NE(process->id(), 0U);
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(42));
    // The wait returned only after the program had done its work.
    EXPECT_TRUE(m.exists(program + u".ran"));
    // Asking again gives the same code at once.
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(42));

    // A program that ended before the wait began is still seen, with its code.
    const Text early = m.path(u"early.exe");
    m.make_program(early, 3);
    const auto ended = start(early);
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(ended->wait_for_exit(), std::optional<uint32_t>(3));
}

TEST_F(ProcessesContract, AMissingProgramIsFileNotFound) {
    EXPECT_EQ(start_error(m.path(u"installpelto_H.exe")), vberr::kFileNotFound);
    EXPECT_EQ(start_error(m.path(u"missing\\installpelto_H.exe")), vberr::kFileNotFound);
    // A file that is no program is refused as VB's Shell refuses it.
    m.write_file(m.path(u"PeltoUpdate_H.exe"), std::string(4096, 'x'));
    EXPECT_EQ(start_error(m.path(u"PeltoUpdate_H.exe")), vberr::kInvalidProcedureCall);
    // A program that is there, in a working folder that is not.
    m.make_program(m.path(u"installpelto_H.exe"), 0);
    EXPECT_EQ(start_error(m.path(u"installpelto_H.exe"), m.path(u"missing")),
              vberr::kInvalidProcedureCall);
}

TEST_F(ProcessesContract, TheProgramRunsInTheWorkingFolderItIsGiven) {
    if (const auto why = m.why_the_plan_cannot_show(RealEffect::ProgramRuns)) {
        GTEST_SKIP() << *why;
    }
    // The run itself may have been started from anywhere (a download folder, a share):
    // the program gets the folder it is given, not the run's nor its own.
    m.make_folder(m.path(u"펠토사용자설치"));
    m.make_folder(m.path(u"programs"));
    const Text program = m.path(u"programs\\installpelto_H.exe");
    m.make_program(program, 0);
    const auto process = m.platform().processes.start(program, platform::kShowNormalFocus,
                                                      m.path(u"펠토사용자설치"));
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(0));
    EXPECT_TRUE(m.exists(m.path(u"펠토사용자설치\\cwd.ran")));
    EXPECT_FALSE(m.exists(m.path(u"programs\\cwd.ran")));
}

TEST_F(ProcessesContract, ProgramsLeftRunningAreNamedAndNotWaitedFor) {
    if (const auto why = m.why_the_plan_cannot_show(RealEffect::ProgramRuns)) {
        GTEST_SKIP() << *why;
    }
    const Text program = m.path(u"installpelto_H.exe");
    m.make_program(program, 5, /*leave_running=*/true);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(start(program)->wait_for_exit(), std::optional<uint32_t>(5));
    // What it left stays 2.5 s; the wait ends with the program itself.
    EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(2000));
    const std::string prefix = to_utf8(program) + " has ended and left running what it started: ";
    EXPECT_TRUE(any_line_holds(m.log_lines(), prefix)) << "no line names what was left running";

    // A program that starts nothing leaves no such line.
    const Text plain = m.path(u"updatepelto_H.exe");
    m.make_program(plain, 0);
    EXPECT_EQ(start(plain)->wait_for_exit(), std::optional<uint32_t>(0));
    EXPECT_FALSE(any_line_holds(m.log_lines(), to_utf8(plain) + " has ended and left"));
}

} // namespace
} // namespace pelto::contract
