// How the settings file is replaced when ReplaceFileW fails as Windows lets it fail: the
// file ends with the new content or the old, never with neither, and nothing the writer
// made is left beside it. ReplaceFileW itself is replaced by a stand-in that first does
// what the system documents for each failure.
#include "platform/win32/profiles_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace pelto::win32_test {
namespace {

using platform::ProfileEntry;

constexpr std::string_view kOld = "[Database Server]\r\nserver_pwd=old\r\n";
constexpr std::string_view kNew = "[Database Server]\r\nserver_pwd=new\r\n";

class ProfileReplaceTest : public ::testing::Test {
protected:
    ProfileReplaceTest() { write_bytes(file_, kOld); }

    // Writes server_pwd=new through ReplaceFileW's stand-in `replace`.
    bool write(platform::win32::Win32ProfileFiles::ReplaceFileCall replace) {
        platform::win32::Win32ProfileFiles profiles(log_, std::move(replace));
        const ProfileEntry entry{u"server_pwd", u"new"};
        return profiles.write_private_profile_strings(u"Database Server", {&entry, 1},
                                                      text_of(file_));
    }

    std::set<std::wstring> names_in_folder() const {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW data{};
        const HANDLE find = FindFirstFileW((temp_ / L"*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (std::wstring_view(data.cFileName) != L"." &&
                    std::wstring_view(data.cFileName) != L"..") {
                    names.insert(data.cFileName);
                }
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        return names;
    }

    TempFolder temp_;
    std::wstring file_ = temp_ / L"Pelto.ini";
    MemoryLog log_;
    const std::set<std::wstring> only_the_file_{L"Pelto.ini"};
};

bool logged(const MemoryLog& log, std::string_view part) {
    for (const std::string& line : log.lines()) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

BOOL failing(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// 1176 once the old file is gone (what Windows leaves when no backup name is given): the
// new file is moved into place.
TEST_F(ProfileReplaceTest, TheNewFileIsMovedIntoPlaceWhenTheOldOneIsGone) {
    EXPECT_TRUE(write([](LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
        DeleteFileW(replaced);
        return failing(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    }));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kNew));
    EXPECT_EQ(names_in_folder(), only_the_file_);
}

// 1177: the old file is under the backup name. The new one goes into place; when even
// that is refused (here: the new file vanished), the old one goes back.
TEST_F(ProfileReplaceTest, TheOldFileLeftUnderTheBackupNameIsReplacedOrPutBack) {
    EXPECT_TRUE(write([](LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
        MoveFileW(replaced, backup);
        return failing(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    }));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kNew));
    EXPECT_EQ(names_in_folder(), only_the_file_);

    write_bytes(file_, kOld);
    EXPECT_FALSE(
        write([](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
            MoveFileW(replaced, backup);
            DeleteFileW(replacement);
            return failing(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
        }));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kOld));
    EXPECT_EQ(names_in_folder(), only_the_file_);
    EXPECT_TRUE(logged(log_, "was put back"));
}

// A scanner holding the file for a moment: tried again, and written.
TEST_F(ProfileReplaceTest, BusyFilesAreTriedAgainAFewTimesWithinTwoSeconds) {
    int calls = 0;
    const DWORD answers[] = {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED,
                             ERROR_UNABLE_TO_REMOVE_REPLACED};
    EXPECT_TRUE(write(
        [&](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID, LPVOID) {
            if (calls < 3) {
                return failing(answers[calls++]);
            }
            ++calls;
            return ReplaceFileW(replaced, replacement, backup, flags, nullptr, nullptr);
        }));
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kNew));
    EXPECT_EQ(names_in_folder(), only_the_file_);

    // Busy for good: given up after a few tries, the old file as it was.
    write_bytes(file_, kOld);
    calls = 0;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(write([&](LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
        ++calls;
        return failing(ERROR_SHARING_VIOLATION);
    }));
    EXPECT_GT(calls, 2);
    EXPECT_LT(GetTickCount64() - start, 2500U);
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kOld));
    EXPECT_EQ(names_in_folder(), only_the_file_);
    EXPECT_TRUE(logged(log_, "not written"));
}

// A settings file with a second name is some other file too: never written through.
TEST_F(ProfileReplaceTest, ASettingsFileWithASecondNameIsNotWritten) {
    const std::wstring other = temp_ / L"other.txt";
    write_bytes(other, kOld);
    DeleteFileW(file_.c_str());
    if (!CreateHardLinkW(file_.c_str(), other.c_str(), nullptr)) {
        GTEST_SKIP() << "no hard links here";
    }
    EXPECT_FALSE(write(ReplaceFileW));
    EXPECT_EQ(read_bytes(other), std::optional<std::string>(kOld));
    EXPECT_TRUE(logged(log_, "second name"));
}

} // namespace
} // namespace pelto::win32_test
