// The folder of the running program, the reason a refused call gives in the run log, and
// what holding a folder or a program keeps others from doing.
#include "platform/path_files.h"
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

namespace attr = platform::attr;
using platform::FileMode;

class FileSystemTest : public ::testing::Test {
protected:
    void make_file(std::wstring_view name) { write_bytes(folder_ / name, "data"); }
    void make_folder(std::wstring_view name) {
        CreateDirectoryW((folder_ / name).c_str(), nullptr);
    }
    Text path(std::wstring_view relative) const { return text_of(folder_ / relative); }
    platform::PathFiles paths() { return platform::PathFiles(files_, log_); }

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

    EXPECT_EQ(paths().open_file(path(L"Pelto.ini"), FileMode::Read), nullptr);
    EXPECT_EQ(paths().get_attributes(path(L"Pelto.ini")), std::nullopt);
    EXPECT_TRUE(paths().list(path(L"missing\\*.ini"), attr::kNormal).empty());
    EXPECT_EQ(log_.lines(), std::vector<std::string>{});

    // A settings file the running suite holds open, sharing nothing.
    make_file(L"Pelto.ini");
    {
        const platform::win32::FileHandle in_use(CreateFileW(
            (folder_ / L"Pelto.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(in_use);
        EXPECT_FALSE(paths().delete_files(path(L"*.ini")));
        expect_line("NtCreateFile", path(L"Pelto.ini"), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(paths().open_file(path(L"Pelto.ini"), FileMode::ReadWrite), nullptr);
        expect_line("NtCreateFile", path(L"Pelto.ini"), ERROR_SHARING_VIOLATION);
    }

    // Inside an open folder, the call that refused is named with the entry's path.
    make_folder(L"펠토사용자설치");
    write_bytes(folder_ / L"펠토사용자설치\\f", "x");
    const std::unique_ptr<platform::Folder> open = paths().open_folder(folder_.text());
    ASSERT_NE(open, nullptr);
    EXPECT_FALSE(open->remove_folder(u"펠토사용자설치"));
    expect_line("SetFileInformationByHandle", path(L"펠토사용자설치"), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(open->open_file(u"missing.ini", FileMode::ReadOneName), nullptr);
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

// A path the system is given (the shell's copy, a program's start) names the folder the
// run holds: nobody else may rename or move that folder until the run lets it go.
TEST_F(FileSystemTest, AHeldFolderKeepsItsPathUntilItIsLetGo) {
    make_folder(L"펠토사용자설치");
    const std::wstring held = folder_ / L"펠토사용자설치";
    const std::wstring moved = folder_ / L"moved";
    std::unique_ptr<platform::Folder> folder = paths().open_folder(text_of(held));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->path(), text_of(held));
    EXPECT_FALSE(MoveFileExW(held.c_str(), moved.c_str(), 0));
    EXPECT_FALSE(RemoveDirectoryW(held.c_str()));
    EXPECT_TRUE(exists(held));
    folder.reset();
    EXPECT_TRUE(MoveFileExW(held.c_str(), moved.c_str(), 0)) << GetLastError();
}

// The program about to start is held: nobody may write, rename or delete it until it has
// started, and the system can still start it.
TEST_F(FileSystemTest, AHeldProgramCanBeStartedButNotChanged) {
    const Text tests = files_.program_folder();
    const std::wstring program = folder_ / L"installpelto_H.exe";
    ASSERT_TRUE(CopyFileW((platform::win32::wide(tests) + L"\\pelto_win32_test_child.exe").c_str(),
                          program.c_str(), FALSE));
    write_bytes(program + L".how", "7");
    const std::unique_ptr<platform::Folder> folder = paths().open_folder(folder_.text());
    ASSERT_NE(folder, nullptr);
    std::unique_ptr<platform::File> held = folder->open_file(u"installpelto_H.exe", FileMode::Hold);
    ASSERT_NE(held, nullptr);

    EXPECT_FALSE(platform::win32::FileHandle(CreateFileW(
        program.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_FALSE(MoveFileExW(program.c_str(), (folder_ / L"other.exe").c_str(), 0));
    EXPECT_FALSE(DeleteFileW(program.c_str()));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring command_line = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, folder_.path().c_str(), &startup, &started))
        << GetLastError();
    const platform::win32::KernelHandle process(started.hProcess);
    const platform::win32::KernelHandle thread(started.hThread);
    held.reset();
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &code));
    EXPECT_EQ(code, 7U);
}

} // namespace
} // namespace pelto::win32_test
