// Where the run log goes when the user's temporary folder is unusual: a TMP longer than
// MAX_PATH, or one that names no absolute path, never makes the log land relative to the
// current folder (wherever the run was started from: a download folder, a share).
#include "platform/win32/run_log_win32.h"
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

} // namespace
} // namespace pelto::win32_test
