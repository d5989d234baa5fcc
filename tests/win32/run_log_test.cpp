// Where the run log goes when the user's temporary folder is unusual: a TMP longer than
// MAX_PATH, or one that names no absolute path, never makes the log land relative to the
// current folder (wherever the run was started from: a download folder, a share). The
// folders of a /LOG path: made with the staging folder's rights, never reached through a
// link.
#include "platform/path_files.h"
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/files/run_log_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace pelto::win32_test {
namespace {

// Sets an environment variable for the test's length.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::optional<std::wstring>& value) : name_(name) {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(name, old, 32768);
        if (length > 0 && length < 32768) {
            old_ = std::wstring(old, length);
        }
        SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// Runs in a current folder of the test's own, so that a log written relative to it is seen.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::wstring& folder) {
        wchar_t old[MAX_PATH];
        old_.assign(old, GetCurrentDirectoryW(MAX_PATH, old));
        SetCurrentDirectoryW(folder.c_str());
    }
    ~ScopedCurrentFolder() { SetCurrentDirectoryW(old_.c_str()); }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
    std::wstring old_;
};

TEST(DefaultRunLog, ALongOrRelativeTempFolderNeverPutsTheLogInTheCurrentFolder) {
    TempFolder folder;
    const std::wstring here = folder / L"started-here";
    CreateDirectoryW(here.c_str(), nullptr);
    const ScopedCurrentFolder current(here);

    // A temporary folder whose path is longer than MAX_PATH.
    std::wstring long_temp = L"\\\\?\\" + folder.path();
    for (int i = 0; i < 6; ++i) {
        long_temp += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + i));
        CreateDirectoryW(long_temp.c_str(), nullptr);
    }
    const std::wstring long_folder = long_temp.substr(4); // without "\\?\"
    ASSERT_GT(long_folder.size(), static_cast<size_t>(MAX_PATH));
    {
        const ScopedVariable tmp(L"TMP", long_folder);
        const ScopedVariable temp(L"TEMP", long_folder);
        platform::win32::Win32RunLog log;
        log.write("in the long folder");
    }
    EXPECT_FALSE(exists(here + L"\\PeltoUserInstall_H.log"));
    EXPECT_NE(
        read_bytes(long_temp + L"\\PeltoUserInstall_H.log").value_or("").find("in the long folder"),
        std::string::npos);

    // A relative TMP is passed over for the next that names a folder.
    const std::wstring other = folder / L"temp";
    CreateDirectoryW(other.c_str(), nullptr);
    {
        const ScopedVariable tmp(L"TMP", std::wstring(L"relative"));
        const ScopedVariable temp(L"TEMP", other);
        EXPECT_EQ(platform::win32::Win32RunLog::default_path(),
                  other + L"\\PeltoUserInstall_H.log");
    }
    // None that names one: no log at all, and the run is told why when it asks.
    {
        const ScopedVariable tmp(L"TMP", std::wstring(L"relative"));
        const ScopedVariable temp(L"TEMP", std::nullopt);
        const ScopedVariable profile(L"USERPROFILE", std::wstring(L"D:"));
        platform::win32::Win32RunLog log;
        EXPECT_TRUE(log.open().has_value());
        log.write("lost");
    }
    EXPECT_FALSE(exists(here + L"\\PeltoUserInstall_H.log"));
    EXPECT_FALSE(exists(here + L"\\relative"));
}

// An elevated run's /LOG may lie below a folder any user can write (a drive's root): the
// folders it lacks are made with the staging folder's rights, not with what the folder
// above would pass on.
TEST(RunLogFolders, MissingFoldersGetTheStagingFoldersRights) {
    TempFolder folder;
    {
        platform::win32::Win32RunLog log(folder / L"로그\\silent\\silent.log");
        ASSERT_EQ(log.open(), std::nullopt);
        log.write("made");
    }
    EXPECT_NE(read_bytes(folder / L"로그\\silent\\silent.log").value_or("").find("made"),
              std::string::npos);
    MemoryLog memory;
    platform::win32::Win32FileSystem files(memory);
    const platform::MadeFolder staging =
        platform::PathFiles(files, memory)
            .make_private_directory(text_of(folder / L"펠토사용자설치"),
                                    platform::PrivateAccess::AdministratorsChange);
    ASSERT_EQ(staging.state, platform::PrivateFolder::Created);
    const std::string rights = rights_text(folder / L"펠토사용자설치");
    EXPECT_EQ(rights_text(folder / L"로그"), rights);
    EXPECT_EQ(rights_text(folder / L"로그\\silent"), rights);
}

// A link on the way to the log (a junction a user swapped in for a folder) is never
// followed: the log would land wherever the user chose.
TEST(RunLogFolders, ALinkOnTheWayIsRefused) {
    TempFolder folder;
    const std::wstring elsewhere = folder / L"elsewhere";
    const std::wstring link = folder / L"logs";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    // Wine answers success without making the link.
    const bool made =
        CreateSymbolicLinkW(link.c_str(), elsewhere.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        GTEST_SKIP() << "this system makes no symbolic links";
    }
    platform::win32::Win32RunLog log(link + L"\\run.log");
    const std::optional<std::string> refusal = log.open();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("is a link"), std::string::npos) << *refusal;
    EXPECT_FALSE(exists(elsewhere + L"\\run.log"));
}

} // namespace
} // namespace pelto::win32_test
