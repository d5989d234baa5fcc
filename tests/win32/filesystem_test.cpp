// Listings, attributes, deletion by pattern, folders and raw files on the real file system.
#include "platform/win32/filesystem_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "tests/win32/win32_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

namespace pelto::win32_test {
namespace {

using platform::DirEntry;
namespace attr = platform::attr;

std::set<Text> names(const std::vector<DirEntry>& entries) {
    std::set<Text> out;
    for (const DirEntry& e : entries) {
        out.insert(e.name);
    }
    return out;
}

class FileSystemTest : public ::testing::Test {
protected:
    void make_file(std::wstring_view name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        write_bytes(folder_ / name, "data");
        SetFileAttributesW((folder_ / name).c_str(), attributes);
    }
    void make_folder(std::wstring_view name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        CreateDirectoryW((folder_ / name).c_str(), nullptr);
        SetFileAttributesW((folder_ / name).c_str(), attributes);
    }
    Text path(std::wstring_view relative) const { return text_of(folder_ / relative); }

    TempFolder folder_;
    MemoryLog log_;
    platform::win32::Win32FileSystem files_{log_};
};

TEST_F(FileSystemTest, ListingFiltersFollowDir) {
    make_file(L"a.txt");
    make_file(L"h.txt", FILE_ATTRIBUTE_HIDDEN);
    make_file(L"s.txt", FILE_ATTRIBUTE_SYSTEM);
    make_file(L"r.txt", FILE_ATTRIBUTE_READONLY);
    make_folder(L"d");
    make_folder(L"hd", FILE_ATTRIBUTE_HIDDEN);
    const Text all = path(L"");

    // The directory filter: folders and files that are neither hidden nor system.
    EXPECT_EQ(names(files_.list(all, attr::kDirectory)),
              (std::set<Text>{u".", u"..", u"a.txt", u"r.txt", u"d"}));
    // Filter 55 sees hidden and system entries too.
    EXPECT_EQ(names(files_.list(all, 55)),
              (std::set<Text>{u".", u"..", u"a.txt", u"h.txt", u"s.txt", u"r.txt", u"d", u"hd"}));
    // No filter: normal files only (read-only ones are normal here).
    EXPECT_EQ(names(files_.list(all + u"*.*", attr::kNormal)),
              (std::set<Text>{u"a.txt", u"r.txt"}));
    // A pattern ending in a backslash lists the folder like "*".
    EXPECT_EQ(names(files_.list(all, 55)), names(files_.list(all + u"*", 55)));
}

TEST_F(FileSystemTest, LookupOfAFolderByNameSeesItOnlyWhenNotHidden) {
    make_folder(L"Resource");
    make_folder(L"Hidden", FILE_ATTRIBUTE_HIDDEN);
    const auto found = files_.list(path(L"resource"), attr::kDirectory);
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].name, u"Resource"); // the name as it is on disk
    EXPECT_NE(found[0].attributes & attr::kDirectory, 0U);
    EXPECT_TRUE(files_.list(path(L"Hidden"), attr::kDirectory).empty());
    EXPECT_TRUE(files_.list(path(L"Nothing"), attr::kDirectory).empty());
}

TEST_F(FileSystemTest, AttributesReadAndSet) {
    make_file(L"f.txt");
    const Text f = path(L"f.txt");
    // Some systems (Wine) report every file as archived; the other bits are the test.
    const auto without_archive = [&] {
        return files_.get_attributes(f).value_or(0xFFFF) & ~attr::kArchive;
    };
    ASSERT_TRUE(files_.set_attributes(f, attr::kReadOnly | attr::kHidden | attr::kSystem));
    EXPECT_EQ(without_archive(), attr::kReadOnly | attr::kHidden | attr::kSystem);
    ASSERT_TRUE(files_.set_attributes(f, attr::kNormal));
    EXPECT_EQ(without_archive(), attr::kNormal);
    EXPECT_EQ(files_.get_attributes(path(L"none")), std::nullopt);
    EXPECT_NE(files_.get_attributes(path(L"")).value_or(0) & attr::kDirectory, 0U);
}

TEST_F(FileSystemTest, KillDeletesMatchingFilesButNotReadOnlyHiddenOrFolders) {
    make_file(L"Pelto.ini");
    make_file(L"other.INI");
    make_file(L"keep.txt");
    make_file(L"locked.ini", FILE_ATTRIBUTE_READONLY);
    make_file(L"secret.ini", FILE_ATTRIBUTE_HIDDEN);
    make_folder(L"folder.ini");

    // The read-only file stays, so the call reports a failure.
    EXPECT_FALSE(files_.delete_files(path(L"*.ini")));
    EXPECT_FALSE(exists(folder_ / L"Pelto.ini"));
    EXPECT_FALSE(exists(folder_ / L"other.INI"));
    EXPECT_TRUE(exists(folder_ / L"keep.txt"));
    EXPECT_TRUE(exists(folder_ / L"locked.ini"));
    EXPECT_TRUE(exists(folder_ / L"secret.ini"));
    EXPECT_TRUE(exists(folder_ / L"folder.ini"));

    EXPECT_TRUE(files_.delete_files(path(L"keep.txt")));
    EXPECT_FALSE(exists(folder_ / L"keep.txt"));
    EXPECT_FALSE(files_.delete_files(path(L"*.none")));
}

TEST_F(FileSystemTest, FoldersCreatedAndRemovedOnlyWhenEmpty) {
    EXPECT_TRUE(files_.create_directory(path(L"펠토사용자설치")));
    EXPECT_FALSE(files_.create_directory(path(L"펠토사용자설치")));
    EXPECT_FALSE(files_.create_directory(path(L"missing\\child")));
    write_bytes(folder_ / L"펠토사용자설치\\f", "x");
    EXPECT_FALSE(files_.remove_directory(path(L"펠토사용자설치")));
    DeleteFileW((folder_ / L"펠토사용자설치\\f").c_str());
    EXPECT_TRUE(files_.remove_directory(path(L"펠토사용자설치")));
    EXPECT_FALSE(exists(folder_ / L"펠토사용자설치"));
}

// Support staff read why a step failed: the refused call, the path as the run gave it, and
// the system's own text and code. A file looked for that is not there logs nothing.
TEST_F(FileSystemTest, ARefusedCallIsLoggedWithTheSystemsCodeAndText) {
    const auto expect_line = [&](const std::string& call, const Text& subject, DWORD code) {
        const std::string text = platform::win32::win32_error_text(code);
        ASSERT_FALSE(text.empty()) << code;
        ASSERT_EQ(log_.lines.size(), 1U);
        EXPECT_EQ(log_.lines[0], call + " failed on " + to_utf8(subject) + ": " + text + " (code " +
                                     std::to_string(code) + ")");
        log_.lines.clear();
    };

    EXPECT_EQ(files_.open_file(path(L"Pelto.ini"), platform::FileMode::Read), nullptr);
    EXPECT_EQ(files_.get_attributes(path(L"Pelto.ini")), std::nullopt);
    EXPECT_TRUE(files_.list(path(L"missing\\*.ini"), attr::kNormal).empty());
    EXPECT_EQ(log_.lines, std::vector<std::string>{});

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

    make_folder(L"펠토사용자설치");
    write_bytes(folder_ / L"펠토사용자설치\\f", "x");
    EXPECT_FALSE(files_.remove_directory(path(L"펠토사용자설치")));
    expect_line("RemoveDirectoryW", path(L"펠토사용자설치"), ERROR_DIR_NOT_EMPTY);
}

TEST_F(FileSystemTest, RawFilesWrittenAndReadBack) {
    const Text f = path(L"blob.bin");
    EXPECT_EQ(files_.open_file(f, platform::FileMode::Read), nullptr);
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    {
        auto file = files_.open_file(f, platform::FileMode::ReadWrite);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->write({reinterpret_cast<const uint8_t*>(data.data()), data.size()}));
    }
    {
        // Opening for writing again keeps the bytes it does not overwrite.
        auto file = files_.open_file(f, platform::FileMode::ReadWrite);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->write({reinterpret_cast<const uint8_t*>("AB"), 2}));
    }
    data[0] = 'A';
    data[1] = 'B';
    auto file = files_.open_file(f, platform::FileMode::Read);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size(), std::optional<uint64_t>(data.size()));
    std::string back;
    std::vector<uint8_t> buffer(32768);
    for (;;) {
        const auto got = file->read(buffer);
        ASSERT_TRUE(got.has_value());
        if (*got == 0) {
            break;
        }
        back.append(reinterpret_cast<const char*>(buffer.data()), *got);
    }
    EXPECT_EQ(back, data);
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

TEST_F(FileSystemTest, LinkIsRemovedWithoutTouchingWhatItPointsTo) {
    TempFolder outside;
    write_bytes(outside / L"precious.txt", "keep me");
    make_folder(L"tree");
    const std::wstring link = folder_ / L"tree\\link";
    // Wine answers success without making the link.
    if (!CreateSymbolicLinkW(link.c_str(), outside.path().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !exists(link)) {
        GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
    }
    const auto attributes = files_.get_attributes(text_of(link));
    ASSERT_TRUE(attributes.has_value());
    if ((*attributes & attr::kReparsePoint) == 0) {
        GTEST_SKIP() << "this system does not report links as reparse points";
    }
    const auto listed = files_.list(path(L"tree\\"), 55);
    const auto entry = std::find_if(listed.begin(), listed.end(),
                                    [](const DirEntry& e) { return e.name == u"link"; });
    ASSERT_NE(entry, listed.end());
    EXPECT_NE(entry->attributes & attr::kReparsePoint, 0U);

    EXPECT_FALSE(files_.remove_link(path(L"tree")));
    EXPECT_TRUE(files_.remove_link(text_of(link)));
    EXPECT_FALSE(exists(link));
    EXPECT_EQ(read_bytes(outside / L"precious.txt"), std::optional<std::string>("keep me"));
}

} // namespace
} // namespace pelto::win32_test
