// How the one replacement of a file (the settings file, a restored file, a kept copy put
// back) ends when ReplaceFileW fails as Windows lets it fail: the file ends with the new
// content or the old, never with neither, and nothing the replacement made is left beside
// it. ReplaceFileW itself is replaced by a stand-in that first does what the system
// documents for each failure.
#include "platform/path_files.h"
#include "platform/win32/files/filesystem_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace pelto::win32_test {
namespace {

using platform::win32::ReplaceFileCall;

constexpr std::string_view kOld = "[Database Server]\r\nserver_pwd=old\r\n";
constexpr std::string_view kNew = "[Database Server]\r\nserver_pwd=new\r\n";

class ReplaceFileTest : public ::testing::Test {
protected:
    ReplaceFileTest() { write_bytes(file_, kOld); }

    // Puts kNew in Pelto.ini's place through ReplaceFileW's stand-in `replace`, in the
    // folder held open as the run holds it.
    bool replace(ReplaceFileCall call, uint32_t attributes = platform::attr::kNormal) {
        platform::win32::Win32FileSystem files(log_, nullptr, std::move(call));
        const std::unique_ptr<platform::Folder> folder =
            platform::PathFiles(files, log_).open_folder(temp_.text());
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(kNew.data()),
                                             kNew.size());
        return folder && folder->replace_file(u"Pelto.ini", bytes, attributes);
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

BOOL failing(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// 1176 once the old file is gone (what Windows leaves when no backup name is given): the
// new file is moved into place.
TEST_F(ReplaceFileTest, TheNewFileIsMovedIntoPlaceWhenTheOldOneIsGone) {
    EXPECT_TRUE(replace([](LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
        DeleteFileW(replaced);
        return failing(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    }));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kNew));
    EXPECT_EQ(names_in_folder(), only_the_file_);
}

// 1177: the old file is under the backup name. The new one goes into place; when even
// that is refused (here: the new file vanished), the old one goes back.
TEST_F(ReplaceFileTest, TheOldFileLeftUnderTheBackupNameIsReplacedOrPutBack) {
    EXPECT_TRUE(replace([](LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
        MoveFileW(replaced, backup);
        return failing(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    }));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kNew));
    EXPECT_EQ(names_in_folder(), only_the_file_);

    write_bytes(file_, kOld);
    EXPECT_FALSE(
        replace([](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
            MoveFileW(replaced, backup);
            DeleteFileW(replacement);
            return failing(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
        }));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kOld));
    EXPECT_EQ(names_in_folder(), only_the_file_);
    EXPECT_TRUE(log_.contains("the old file was put back"));
}

// A scanner holding the file for a moment: tried again, and replaced.
TEST_F(ReplaceFileTest, BusyFilesAreTriedAgainAFewTimesWithinTwoSeconds) {
    int calls = 0;
    const DWORD answers[] = {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED,
                             ERROR_UNABLE_TO_REMOVE_REPLACED};
    EXPECT_TRUE(replace(
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

    // Busy for good: given up after a few tries, the old file as it was, its read-only
    // mark (taken off for the replacement) back.
    write_bytes(file_, kOld);
    SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_READONLY);
    calls = 0;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(replace([&](LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
        ++calls;
        return failing(ERROR_SHARING_VIOLATION);
    }));
    EXPECT_GT(calls, 2);
    EXPECT_LT(GetTickCount64() - start, 2500U);
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kOld));
    EXPECT_NE(GetFileAttributesW(file_.c_str()) & FILE_ATTRIBUTE_READONLY, 0U);
    EXPECT_EQ(names_in_folder(), only_the_file_);
    EXPECT_TRUE(log_.contains("ReplaceFileW failed on " + to_utf8(text_of(file_))));
    SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A file with a second name is some other file too, and a folder is no file: neither is
// ever replaced.
TEST_F(ReplaceFileTest, AFileWithASecondNameOrAFolderIsNeverReplaced) {
    const std::wstring other = temp_ / L"other.txt";
    write_bytes(other, kOld);
    DeleteFileW(file_.c_str());
    if (!CreateHardLinkW(file_.c_str(), other.c_str(), nullptr)) {
        GTEST_SKIP() << "no hard links here";
    }
    EXPECT_FALSE(replace(ReplaceFileW));
    EXPECT_EQ(read_bytes(other), std::optional<std::string>(kOld));
    EXPECT_EQ(read_bytes(file_), std::optional<std::string>(kOld));
    EXPECT_TRUE(log_.contains("a file with a second name"));

    DeleteFileW(file_.c_str());
    ASSERT_TRUE(CreateDirectoryW(file_.c_str(), nullptr));
    EXPECT_FALSE(replace(ReplaceFileW));
    EXPECT_NE(GetFileAttributesW(file_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0U);
    EXPECT_EQ(names_in_folder(), (std::set<std::wstring>{L"Pelto.ini", L"other.txt"}));
}

} // namespace
} // namespace pelto::win32_test
