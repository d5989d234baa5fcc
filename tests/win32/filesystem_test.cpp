// The folder of the running program, as the module file names it.
#include "platform/win32/filesystem_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class FileSystemTest : public ::testing::Test {
protected:
    platform::win32::Win32FileSystem files_;
};

TEST_F(FileSystemTest, ProgramFolderHoldsTheRunningProgram) {
    const Text folder = files_.program_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), u'\\');
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring name = std::wstring(module).substr(std::wstring(module).rfind(L'\\'));
    EXPECT_TRUE(exists(std::wstring(folder.begin(), folder.end()) + name));
}

} // namespace
} // namespace pelto::win32_test
