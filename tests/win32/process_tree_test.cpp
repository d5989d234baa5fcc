// The wait on a started program: it holds on to the handle the start returned, and names
// in the run log what the program left running.
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/files/run_log_win32.h"
#include "platform/win32/process/processes_win32.h"
#include "tests/win32/win32_test_support.h"

#include <chrono>
#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class ProcessTreeTest : public ::testing::Test {
protected:
    std::wstring beside_tests(const wchar_t* name) {
        const Text folder = platform::win32::Win32FileSystem(log_).program_folder();
        return std::wstring(folder.begin(), folder.end()) + L"\\" + name;
    }
    // A copy of the test child named for the exit code it gives, in the test's folder.
    std::wstring exit_child(unsigned code) {
        const std::wstring target = folder_ / (L"exit-" + std::to_wstring(code) + L".exe");
        EXPECT_TRUE(
            CopyFileW(beside_tests(L"pelto_win32_test_child.exe").c_str(), target.c_str(), FALSE));
        return target;
    }
    std::string log_text() { return read_bytes(folder_ / L"run.log").value_or(""); }

    TempFolder folder_;
    platform::win32::Win32RunLog log_{folder_ / L"run.log"};
};

TEST_F(ProcessTreeTest, WaitHoldsOnWhenTheProgramCannotBeOpenedByItsId) {
    const platform::win32::HeldRunClaim no_claim;
    platform::win32::Win32Processes processes(log_, no_claim, {.deny_open_by_id = true});
    const std::wstring program = exit_child(42);
    const auto process =
        processes.start(text_of(program), platform::kShowNormalFocus, folder_.text());
    ASSERT_NE(process, nullptr);
    // The premise: opening the process by its id, as a wait would, is refused.
    const HANDLE by_id = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process->id());
    EXPECT_EQ(by_id, nullptr);
    if (by_id != nullptr) {
        CloseHandle(by_id);
    }
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(42));
    EXPECT_TRUE(exists(program + L".ran")) << "the wait ended before the program";
}

} // namespace
} // namespace pelto::win32_test
