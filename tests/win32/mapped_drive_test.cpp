// A drive letter the elevated program does not see is taken through the user's saved
// mapping of that drive, and the run log says so.
#include "platform/path_files.h"
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/files/mapped_drive.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelto::win32_test {
namespace {

// Letters from Q on that name no drive here.
wchar_t missing_drive(wchar_t after = L'P') {
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = after + 1; letter <= L'Y'; ++letter) {
        if ((drives & (1UL << (letter - L'A'))) == 0) {
            return letter;
        }
    }
    return 0;
}

// The user's saved mappings, kept in a key of the test's own instead of HKCU\Network.
class SavedMappings {
public:
    SavedMappings() {
        name_ = L"Software\\PeltoUserInstall_H-test-" + std::to_wstring(GetCurrentProcessId());
        RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
    }
    ~SavedMappings() {
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
    }
    SavedMappings(const SavedMappings&) = delete;
    SavedMappings& operator=(const SavedMappings&) = delete;

    HKEY key() const { return key_; }
    void map(wchar_t letter, const std::wstring& remote) {
        const std::wstring sub = std::wstring(L"Network\\") + letter;
        RegSetKeyValueW(key_, sub.c_str(), L"RemotePath", REG_SZ, remote.c_str(),
                        static_cast<DWORD>((remote.size() + 1) * sizeof(wchar_t)));
    }

private:
    std::wstring name_;
    HKEY key_ = nullptr;
};

TEST(MappedDriveTest, MissingLetterIsTakenThroughItsSavedMappingAndLogged) {
    const wchar_t letter = missing_drive();
    ASSERT_NE(letter, 0) << "every drive letter is in use";
    const std::string drive = std::string(1, static_cast<char>(letter)) + ":";
    SavedMappings saved;
    saved.map(letter, L"\\\\updatesrv\\pelto\\");
    MemoryLog log;
    platform::win32::MappedDrives drives(log, saved.key());

    const Text path = text_of(std::wstring(1, letter) + L":\\Pelto\\");
    EXPECT_EQ(drives.resolve(path), u"\\\\updatesrv\\pelto\\Pelto\\");
    // Lower case and a path without a backslash after the colon lead to the same place.
    EXPECT_EQ(
        drives.resolve(text_of(std::wstring(1, static_cast<wchar_t>(letter + 32)) + L":Pelto")),
        u"\\\\updatesrv\\pelto\\Pelto");
    // Told once per letter.
    EXPECT_EQ(log.count("drive " + drive + " does not exist for this program"), 1U);
    EXPECT_TRUE(log.contains("using its saved mapping \\\\updatesrv\\pelto: " + drive +
                             "\\Pelto\\ -> \\\\updatesrv\\pelto\\Pelto\\"));

    // A drive the program has, and a path without a drive, stay as they are.
    EXPECT_EQ(drives.resolve(u"C:\\Pelto_H\\bin"), u"C:\\Pelto_H\\bin");
    EXPECT_EQ(drives.resolve(u"\\\\srv\\share\\x"), u"\\\\srv\\share\\x");

    // A missing letter without a saved mapping stays too, and the log says why.
    const wchar_t unmapped = missing_drive(letter);
    ASSERT_NE(unmapped, 0);
    const Text other = text_of(std::wstring(1, unmapped) + L":\\Pelto");
    EXPECT_EQ(drives.resolve(other), other);
    EXPECT_TRUE(log.contains("drive " + std::string(1, static_cast<char>(unmapped)) +
                             ": does not exist for this program and has no saved mapping"));
}

TEST(MappedDriveTest, FileSystemListsTheUpdatePathThroughTheMapping) {
    const wchar_t letter = missing_drive();
    ASSERT_NE(letter, 0);
    TempFolder share;
    write_bytes(share / L"installpelto_H.exe", "installer");
    SavedMappings saved;
    saved.map(letter, share.path());
    MemoryLog log;
    platform::win32::MappedDrives drives(log, saved.key());
    platform::win32::Win32FileSystem files(log, &drives);

    const std::vector<platform::DirEntry> entries =
        platform::PathFiles(files, log)
            .list(text_of(std::wstring(1, letter) + L":\\*.exe"), platform::attr::kNormal);
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries[0].name, u"installpelto_H.exe");
}

} // namespace
} // namespace pelto::win32_test
