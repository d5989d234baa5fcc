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
    platform::PathFiles files() { return platform::paths(m.platform()); }

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

// Everything done inside an open folder is done relative to it, one entry name at a time.
TEST_F(FileSystemContract, AnOpenFolderWorksOnWhatItHoldsAndNothingElse) {
    make_mixed_folder();
    m.write_file(m.path(u"d\\Sub\\inner.txt"), "x");
    const std::unique_ptr<platform::Folder> d = files().open_folder(m.path(u"d"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(files().open_folder(m.path(u"d\\normal.txt")), nullptr);
    EXPECT_EQ(files().open_folder(m.path(u"missing")), nullptr);
    using S = std::set<Text>;
    EXPECT_EQ(names(d->list(u"*.*", attr::kDirectory).value()),
              (S{u"normal.txt", u"readonly.txt", u"Sub"}));
    EXPECT_EQ(names(d->list(u"SUB", attr::kDirectory).value()), S{u"Sub"});
    EXPECT_TRUE(d->list(u"hiddensub", attr::kDirectory).value().empty());

    // Its own attributes, and those of an entry, on the open folder.
    ASSERT_TRUE(d->set_attributes(attr::kHidden));
    EXPECT_NE(files().get_attributes(m.path(u"d")).value_or(0) & attr::kHidden, 0U);
    ASSERT_TRUE(d->set_attributes(attr::kNormal));
    ASSERT_TRUE(d->set_attributes(u"readonly.txt", attr::kNormal));
    EXPECT_EQ(files().get_attributes(m.path(u"d\\readonly.txt")).value_or(0) & attr::kReadOnly, 0U);

    // RmDir only of an empty folder; Kill as VB's, relative to the folder.
    std::unique_ptr<platform::Folder> sub = d->open_folder(u"sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_FALSE(d->remove_folder(u"Sub"));
    EXPECT_TRUE(sub->delete_files(u"*.*"));
    sub.reset(); // Windows removes a folder when the last handle on it closes
    EXPECT_TRUE(d->remove_folder(u"Sub"));
    EXPECT_FALSE(m.exists(m.path(u"d\\Sub")));
    EXPECT_FALSE(d->remove_folder(u"normal.txt")); // a file is no folder
    EXPECT_TRUE(d->delete_files(u"*.txt"));
    EXPECT_EQ(names(d->list(u"*", 55).value()), (S{u"hidden.txt", u"hiddensub", u"system.dat"}));

    // A new private file: never over an existing entry.
    ASSERT_NE(d->create_private_file(u"kept.ini"), nullptr);
    EXPECT_EQ(d->create_private_file(u"kept.ini"), nullptr);
    EXPECT_TRUE(m.exists(m.path(u"d\\kept.ini")));
}

// A held folder keeps its place: nobody may move it while it is held (Windows), or, moved
// away with a link put in its place, what is done through it is done to the folder that
// was opened.
TEST_F(FileSystemContract, ALinkSwappedInForAHeldFolderLeadsNowhere) {
    m.make_folder(m.path(u"d"));
    m.write_file(m.path(u"d\\old.ini"), "x");
    std::unique_ptr<platform::Folder> d = files().open_folder(m.path(u"d"));
    ASSERT_NE(d, nullptr);
    const bool moved = files().move(m.path(u"d"), m.path(u"d-moved"));
    if (m.a_held_folder_stays_in_place()) {
        EXPECT_FALSE(moved);
        d.reset();
        EXPECT_TRUE(files().move(m.path(u"d"), m.path(u"d-moved")));
        return;
    }
    ASSERT_TRUE(moved);
    const bool linked = m.make_link_to_outside(m.path(u"d"));
    m.make_folder(m.path(u"d-moved\\precious.txt")); // a name the link's target also has
    EXPECT_TRUE(d->delete_files(u"*.ini"));
    EXPECT_FALSE(m.exists(m.path(u"d-moved\\old.ini")));
    EXPECT_TRUE(d->remove_folder(u"precious.txt"));
    if (linked) {
        EXPECT_EQ(m.read_outside_precious(), std::optional<std::string>("keep me"));
    }
}

// A file is read through an open folder only when it is a regular file with one name:
// through a hard link the run would read, and copy where others may read it, another file.
TEST_F(FileSystemContract, AnOpenFolderReadsOnlyAFileWithOneName) {
    m.make_folder(m.path(u"d"));
    m.write_file(m.path(u"secret.txt"), "not yours");
    m.write_file(m.path(u"d\\own.ini"), "mine");
    const std::unique_ptr<platform::Folder> d = files().open_folder(m.path(u"d"));
    ASSERT_NE(d, nullptr);
    EXPECT_NE(d->open_file(u"own.ini", FileMode::ReadOneName), nullptr);
    EXPECT_EQ(d->open_file(u"missing.ini", FileMode::ReadOneName), nullptr);
    if (!m.make_hard_link(m.path(u"secret.txt"), m.path(u"d\\Pelto.ini"))) {
        GTEST_SKIP() << "this system cannot make hard links";
    }
    EXPECT_EQ(d->open_file(u"Pelto.ini", FileMode::ReadOneName), nullptr);
}

// A file's attributes belong to the file, not to one of its names: through a second name
// the run would change another file's. SetAttr there is refused, and the file keeps its
// attributes under its other name.
TEST_F(FileSystemContract, AttributesAreNeverSetThroughASecondName) {
    m.make_folder(m.path(u"d"));
    m.write_file(m.path(u"secret.txt"), "not yours");
    if (!m.make_hard_link(m.path(u"secret.txt"), m.path(u"d\\Pelto.ini"))) {
        GTEST_SKIP() << "this system cannot make hard links";
    }
    const std::unique_ptr<platform::Folder> d = files().open_folder(m.path(u"d"));
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->set_attributes(u"Pelto.ini", attr::kReadOnly | attr::kHidden));
    EXPECT_EQ(files().get_attributes(m.path(u"secret.txt")).value_or(0xFFFF) & ~attr::kArchive,
              attr::kNormal);
    EXPECT_TRUE(any_line_holds(m.log_lines(), "has another name"));
}

// The one replacement of a file (a settings file, a restored file) keeps the rights of
// the file it replaces: who may read a settings file, or change it, stays as it was.
TEST_F(FileSystemContract, ReplacingAFileKeepsItsRights) {
    m.make_folder(m.path(u"d"));
    m.write_file(m.path(u"d\\Pelto.ini"), "old");
    m.give_distinctive_rights(m.path(u"d\\Pelto.ini"));
    m.write_file(m.path(u"d\\fresh.ini"), "beside it");
    const std::string before = m.rights(m.path(u"d\\Pelto.ini"));
    ASSERT_NE(before, m.rights(m.path(u"d\\fresh.ini"))) << "no distinctive rights here";
    const std::unique_ptr<platform::Folder> d = files().open_folder(m.path(u"d"));
    ASSERT_NE(d, nullptr);
    const std::string_view bytes = "new";
    ASSERT_TRUE(d->replace_file(
        u"Pelto.ini",
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
        attr::kNormal));
    EXPECT_EQ(m.read_file(m.path(u"d\\Pelto.ini")), std::optional<std::string>("new"));
    EXPECT_EQ(m.rights(m.path(u"d\\Pelto.ini")), before);
}

// The run makes its private folders itself and never takes over one that someone else
// made: such a folder is reported untrusted, and moved aside whole.
TEST_F(FileSystemContract, APrivateFolderIsOnlyEverOneTheRunMade) {
    using platform::PrivateAccess;
    using platform::PrivateFolder;
    const Text staging = m.path(u"펠토사용자설치");
    EXPECT_EQ(files().make_private_directory(staging, PrivateAccess::AdministratorsChange).state,
              PrivateFolder::Created);
    EXPECT_EQ(files().make_private_directory(staging, PrivateAccess::AdministratorsChange).state,
              PrivateFolder::Trusted);
    const Text kept = staging + u"\\보관";
    EXPECT_EQ(files().make_private_directory(kept, PrivateAccess::AdministratorsOnly).state,
              PrivateFolder::Created);
    EXPECT_TRUE(m.only_administrators_may_read(kept));
    const std::unique_ptr<platform::Folder> folder = files().open_folder(kept);
    ASSERT_NE(folder, nullptr);
    ASSERT_NE(folder->create_private_file(u"Pelto.ini"), nullptr);
    EXPECT_TRUE(m.only_administrators_may_read(kept + u"\\Pelto.ini"));

    // Made by another user, with a planted library in it; a file of that name.
    const Text planted = m.path(u"planted");
    m.make_folder_others_may_change(planted);
    m.write_file(planted + u"\\version.dll", "planted");
    EXPECT_EQ(files().make_private_directory(planted, PrivateAccess::AdministratorsChange).state,
              PrivateFolder::Untrusted);
    m.write_file(m.path(u"a file"), "x");
    EXPECT_EQ(
        files().make_private_directory(m.path(u"a file"), PrivateAccess::AdministratorsOnly).state,
        PrivateFolder::Untrusted);
    EXPECT_EQ(
        files()
            .make_private_directory(m.path(u"missing\\child"), PrivateAccess::AdministratorsChange)
            .state,
        PrivateFolder::Refused);

    // Moved aside whole, never onto something that exists.
    EXPECT_FALSE(files().move(planted, staging));
    EXPECT_TRUE(files().move(planted, planted + u".20261209-101500"));
    EXPECT_EQ(m.read_file(planted + u".20261209-101500\\version.dll"),
              std::optional<std::string>("planted"));
    EXPECT_FALSE(m.exists(planted));
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

    EXPECT_EQ(files().open_folder(link), nullptr);
    const std::unique_ptr<platform::Folder> tree = files().open_folder(m.path(u"tree"));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->open_folder(u"link"), nullptr);
    EXPECT_FALSE(tree->remove_folder(u"link"));
    EXPECT_FALSE(tree->remove_link(u"missing"));
    EXPECT_TRUE(tree->remove_link(u"LINK"));
    EXPECT_FALSE(m.exists(link));
    EXPECT_EQ(m.read_outside_precious(), std::optional<std::string>("keep me"));
}

} // namespace
} // namespace pelto::contract
