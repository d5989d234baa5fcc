// The file system as VB's Dir, GetAttr, SetAttr, Kill, MkDir and RmDir see it, and raw
// files: the same answers from both platforms.
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>
#include <set>

namespace pelto::contract {
namespace {

using platform::DirEntry;
using platform::FileMode;
namespace attr = platform::attr;

std::set<Text> names(const std::vector<DirEntry>& entries) {
    std::set<Text> out;
    for (const DirEntry& e : entries) {
        out.insert(e.name);
    }
    return out;
}

class FileSystemContract : public ::testing::Test {
protected:
    platform::FileSystem& files() { return m.platform().files; }

    // d holds a normal, a read-only, a hidden and a system file, a folder and a hidden
    // folder.
    void make_mixed_folder() {
        m.make_folder(m.path(u"d"));
        m.make_folder(m.path(u"d\\Sub"));
        m.make_folder(m.path(u"d\\hiddensub"));
        for (const char16_t* name :
             {u"normal.txt", u"readonly.txt", u"hidden.txt", u"system.dat"}) {
            m.write_file(m.path(u"d\\") + name, "x");
        }
        ASSERT_TRUE(files().set_attributes(m.path(u"d\\readonly.txt"), attr::kReadOnly));
        ASSERT_TRUE(files().set_attributes(m.path(u"d\\hidden.txt"), attr::kHidden));
        ASSERT_TRUE(files().set_attributes(m.path(u"d\\system.dat"), attr::kSystem));
        ASSERT_TRUE(files().set_attributes(m.path(u"d\\hiddensub"), attr::kHidden));
    }

    ContractMachine m;
};

TEST_F(FileSystemContract, ListingFiltersAsDirDoes) {
    make_mixed_folder();
    using S = std::set<Text>;
    const Text d = m.path(u"d\\");
    EXPECT_EQ(names(files().list(d + u"*.*", attr::kNormal)), (S{u"normal.txt", u"readonly.txt"}));
    EXPECT_EQ(names(files().list(d + u"*.*", attr::kDirectory)),
              (S{u".", u"..", u"normal.txt", u"readonly.txt", u"Sub"}));
    EXPECT_EQ(names(files().list(d, 55)),
              (S{u".", u"..", u"hidden.txt", u"hiddensub", u"normal.txt", u"readonly.txt", u"Sub",
                 u"system.dat"}));
    EXPECT_EQ(names(files().list(d + u"*", attr::kHidden)),
              (S{u"hidden.txt", u"normal.txt", u"readonly.txt"}));
    EXPECT_EQ(names(files().list(d + u"*.txt", attr::kNormal)),
              (S{u"normal.txt", u"readonly.txt"}));
    EXPECT_EQ(names(files().list(d + u"?ormal.*", attr::kNormal)), (S{u"normal.txt"}));

    // A single name: found without regard to case, reported with its own spelling, with
    // its attributes, and filtered like any entry.
    const auto sub = files().list(m.path(u"D\\SUB"), attr::kDirectory);
    ASSERT_EQ(sub.size(), 1U);
    EXPECT_EQ(sub[0].name, u"Sub");
    EXPECT_NE(sub[0].attributes & attr::kDirectory, 0U);
    EXPECT_TRUE(files().list(d + u"Sub", attr::kNormal).empty());
    EXPECT_TRUE(files().list(d + u"hiddensub", attr::kDirectory).empty());
    EXPECT_EQ(files().list(d + u"hiddensub", 55).size(), 1U);
    // A missing folder or name lists nothing.
    EXPECT_TRUE(files().list(m.path(u"missing\\*.*"), 55).empty());
    EXPECT_TRUE(files().list(d + u"nothing", attr::kDirectory).empty());
}

TEST_F(FileSystemContract, AttributesReadAndSet) {
    m.write_file(m.path(u"f.txt"), "x");
    const Text f = m.path(u"f.txt");
    // Both platforms report files as archived, as Wine does; the other bits are the test.
    const auto without_archive = [&](TextView path) {
        return files().get_attributes(path).value_or(0xFFFF) & ~attr::kArchive;
    };
    ASSERT_TRUE(files().set_attributes(f, attr::kReadOnly | attr::kHidden | attr::kSystem));
    EXPECT_EQ(without_archive(m.path(u"F.TXT")), attr::kReadOnly | attr::kHidden | attr::kSystem);
    ASSERT_TRUE(files().set_attributes(f, attr::kNormal));
    EXPECT_EQ(without_archive(f), attr::kNormal);
    EXPECT_EQ(files().get_attributes(m.path(u"none")), std::nullopt);

    m.make_folder(m.path(u"dir"));
    ASSERT_TRUE(files().set_attributes(m.path(u"dir"), attr::kHidden));
    EXPECT_EQ(without_archive(m.path(u"dir")), attr::kDirectory | attr::kHidden);
    EXPECT_FALSE(files().set_attributes(m.path(u"none"), attr::kHidden));
}

TEST_F(FileSystemContract, KillDeletesMatchingFilesButNotReadOnlyHiddenSystemOrFolders) {
    make_mixed_folder();
    m.write_file(m.path(u"d\\other.TXT"), "o");
    m.make_folder(m.path(u"d\\folder.txt"));

    // The read-only file is matched and refused, so the call reports a failure.
    EXPECT_FALSE(files().delete_files(m.path(u"d\\*.txt")));
    EXPECT_FALSE(m.exists(m.path(u"d\\normal.txt")));
    EXPECT_FALSE(m.exists(m.path(u"d\\other.TXT")));
    EXPECT_TRUE(m.exists(m.path(u"d\\readonly.txt")));
    EXPECT_TRUE(m.exists(m.path(u"d\\hidden.txt")));
    EXPECT_TRUE(m.exists(m.path(u"d\\system.dat")));
    EXPECT_TRUE(m.exists(m.path(u"d\\folder.txt")));

    EXPECT_FALSE(files().delete_files(m.path(u"d\\*.none"))); // nothing matched
    ASSERT_TRUE(files().set_attributes(m.path(u"d\\readonly.txt"), attr::kNormal));
    EXPECT_TRUE(files().delete_files(m.path(u"d\\READONLY.TXT")));
    EXPECT_FALSE(m.exists(m.path(u"d\\readonly.txt")));
}

TEST_F(FileSystemContract, FoldersAreCreatedAndRemovedOnlyWhenEmpty) {
    const Text folder = m.path(u"펠토사용자설치");
    EXPECT_TRUE(files().create_directory(folder));
    EXPECT_TRUE(m.exists(folder));
    EXPECT_FALSE(files().create_directory(folder));                    // exists
    EXPECT_FALSE(files().create_directory(m.path(u"missing\\child"))); // no parent
    m.write_file(folder + u"\\f", "x");
    EXPECT_FALSE(files().remove_directory(folder));
    EXPECT_FALSE(files().remove_directory(folder + u"\\f")); // a file is no folder
    EXPECT_TRUE(files().delete_files(folder + u"\\f"));
    EXPECT_TRUE(files().remove_directory(m.path(u"펠토사용자설치")));
    EXPECT_FALSE(m.exists(folder));
}

TEST_F(FileSystemContract, RawFilesAreWrittenAndReadBackByteForByte) {
    const Text f = m.path(u"blob.bin");
    EXPECT_EQ(files().open_file(f, FileMode::Read), nullptr);
    EXPECT_EQ(files().open_file(m.path(u"nofolder\\x.bin"), FileMode::ReadWrite), nullptr);
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    const auto bytes = [](std::string_view s) {
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    {
        auto file = files().open_file(f, FileMode::ReadWrite);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->write(bytes(data)));
    }
    {
        // Opening for writing again keeps the bytes it does not overwrite.
        auto file = files().open_file(m.path(u"BLOB.BIN"), FileMode::ReadWrite);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->write(bytes("AB")));
    }
    data[0] = 'A';
    data[1] = 'B';
    {
        auto file = files().open_file(f, FileMode::Read);
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
    // A read-only file opens for reading only.
    ASSERT_TRUE(files().set_attributes(f, attr::kReadOnly));
    EXPECT_EQ(files().open_file(f, FileMode::ReadWrite), nullptr);
    EXPECT_NE(files().open_file(f, FileMode::Read), nullptr);
    ASSERT_TRUE(files().set_attributes(f, attr::kNormal));
}

TEST_F(FileSystemContract, ALinkIsAReparsePointRemovedWithoutTouchingWhatItPointsTo) {
    m.make_folder(m.path(u"tree"));
    const Text link = m.path(u"tree\\link");
    if (!m.make_link_to_outside(link)) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    EXPECT_NE(files().get_attributes(link).value_or(0) & attr::kReparsePoint, 0U);
    const auto listed = files().list(m.path(u"tree\\"), 55);
    const auto entry = std::find_if(listed.begin(), listed.end(),
                                    [](const DirEntry& e) { return e.name == u"link"; });
    ASSERT_NE(entry, listed.end());
    EXPECT_NE(entry->attributes & attr::kReparsePoint, 0U);

    EXPECT_FALSE(files().remove_directory(link));
    EXPECT_FALSE(files().remove_link(m.path(u"tree")));
    EXPECT_FALSE(files().remove_link(m.path(u"missing")));
    EXPECT_TRUE(files().remove_link(link));
    EXPECT_FALSE(m.exists(link));
    EXPECT_EQ(m.read_outside_precious(), std::optional<std::string>("keep me"));
}

} // namespace
} // namespace pelto::contract
