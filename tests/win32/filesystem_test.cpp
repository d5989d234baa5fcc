// The folder of the running program, and the reason a refused call gives in the run log.
#include "platform/win32/filesystem_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

namespace attr = platform::attr;

class FileSystemTest : public ::testing::Test {
protected:
    void make_file(std::wstring_view name) { write_bytes(folder_ / name, "data"); }
    void make_folder(std::wstring_view name) {
        CreateDirectoryW((folder_ / name).c_str(), nullptr);
    }
    Text path(std::wstring_view relative) const { return text_of(folder_ / relative); }

    TempFolder folder_;
    MemoryLog log_;
    platform::win32::Win32FileSystem files_{log_};
};

// Support staff read why a step failed: the refused call, the path as the run gave it, and
// the system's own text and code. A file looked for that is not there logs nothing.
TEST_F(FileSystemTest, ARefusedCallIsLoggedWithTheSystemsCodeAndText) {
    const auto expect_line = [&](const std::string& call, const Text& subject, DWORD code) {
        const std::string text = platform::win32::win32_error_text(code);
        ASSERT_FALSE(text.empty()) << code;
        ASSERT_EQ(log_.lines().size(), 1U);
        EXPECT_EQ(log_.lines()[0], call + " failed on " + to_utf8(subject) + ": " + text +
                                       " (code " + std::to_string(code) + ")");
        log_.clear();
    };

    EXPECT_EQ(files_.open_file(path(L"Pelto.ini"), platform::FileMode::Read), nullptr);
    EXPECT_EQ(files_.get_attributes(path(L"Pelto.ini")), std::nullopt);
    EXPECT_TRUE(files_.list(path(L"missing\\*.ini"), attr::kNormal).empty());
    EXPECT_EQ(log_.lines(), std::vector<std::string>{});

    // A settings file the running suite holds open, sharing nothing.
    make_file(L"Pelto.ini");
    {
        const platform::win32::FileHandle in_use(CreateFileW(
            (folder_ / L"Pelto.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(in_use);
        EXPECT_FALSE(files_.delete_files(path(L"*.ini")));
        expect_line("DeleteFileW", path(L"Pelto.ini"), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(files_.open_file(path(L"Pelto.ini"), platform::FileMode::ReadWrite), nullptr);
        expect_line("CreateFileW", path(L"Pelto.ini"), ERROR_SHARING_VIOLATION);
    }

    // Inside an open folder, the call that refused is named with the entry's path.
    make_folder(L"펠토사용자설치");
    write_bytes(folder_ / L"펠토사용자설치\\f", "x");
    const std::unique_ptr<platform::Folder> open = files_.open_folder(text_of(folder_.path()));
    ASSERT_NE(open, nullptr);
    EXPECT_FALSE(open->remove_folder(u"펠토사용자설치"));
    expect_line("SetFileInformationByHandle", path(L"펠토사용자설치"), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(open->open_file(u"missing.ini"), nullptr);
    EXPECT_EQ(log_.lines(), std::vector<std::string>{});
}

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
