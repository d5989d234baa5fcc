// Programs started by path with a normal window and waited for on their process handle.
#include "core/error.h"
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/files/run_log_win32.h"
#include "platform/win32/process/processes_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class ProcessTest : public ::testing::Test {
protected:
    // A copy of the test child named for the exit code it gives.
    std::wstring child(std::wstring_view folder_name, unsigned code) {
        const Text program_folder = platform::win32::Win32FileSystem(log_).program_folder();
        const std::wstring source = std::wstring(program_folder.begin(), program_folder.end()) +
                                    L"\\pelto_win32_test_child.exe";
        const std::wstring target_folder = folder_ / folder_name;
        CreateDirectoryW(target_folder.c_str(), nullptr);
        const std::wstring target = target_folder + L"\\exit-" + std::to_wstring(code) + L".exe";
        EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << GetLastError();
        return target;
    }

    TempFolder folder_;
    platform::win32::Win32RunLog log_{folder_ / L"run.log"};
    const platform::win32::HeldRunClaim no_claim_;
    platform::win32::Win32Processes processes_{log_, no_claim_};
};

TEST_F(ProcessTest, ExitCodeOfStillActiveDoesNotKeepTheWaitGoing) {
    const std::wstring program = child(L"bin", STILL_ACTIVE);
    auto process = processes_.start(text_of(program), platform::kShowNormalFocus, folder_.text());
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(STILL_ACTIVE));
    EXPECT_TRUE(exists(program + L".ran"));
}

} // namespace
} // namespace pelto::win32_test
