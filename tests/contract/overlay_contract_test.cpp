// The plan's own two rules, on the machine of this system under a plan: what the plan
// wrote is what its own later reads find, through every service that reads (a planned run
// decides on what it would have done by then), and the machine under it is left exactly
// as it was.
#include "platform/codepage.h"
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>
#include <map>

namespace pelto::contract {
namespace {

using platform::FileMode;
using platform::PrivateAccess;
using platform::PrivateFolder;
namespace attr = platform::attr;

std::span<const uint8_t> bytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class NoOwner final : public platform::OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};

class PlanContract : public ::testing::Test {
protected:
    platform::PathFiles files() { return platform::paths(m.platform()); }
    std::unique_ptr<platform::Folder> folder(TextView relative) {
        return files().open_folder(m.path(relative));
    }
    // A file's bytes through the plan's open folder; nullopt when it opens none.
    static std::optional<std::string> read(platform::Folder& in, TextView name) {
        const std::unique_ptr<platform::File> file = in.open_file(name, FileMode::Read);
        return file ? platform::read_all(*file) : std::nullopt;
    }
    // Every entry of the folder, by name, with its attributes.
    static std::map<Text, uint32_t> listed(platform::Folder& in) {
        std::map<Text, uint32_t> out;
        const std::vector<platform::DirEntry> entries = in.list(u"*", 55).value();
        for (const platform::DirEntry& e : entries) {
            out.emplace(e.name, e.attributes & ~attr::kArchive);
        }
        return out;
    }
    // Who owns the entry on the machine itself, under the plan.
    platform::EntryTrust machine_trust(TextView relative, TextView name) {
        return platform::paths(m.machine()).open_folder(m.path(relative))->trust(name);
    }

    OverlayMachine m;
};

// Replace, a private file, Kill, SetAttr and a raw write: each is what the plan's open
// folders and paths find afterwards.
TEST_F(PlanContract, FilesThePlanWroteAreWhatItsReadsFind) {
    m.make_folder(m.path(u"d"));
    m.write_file(m.path(u"d\\old.ini"), "old");
    m.give_distinctive_rights(m.path(u"d\\old.ini"));
    m.write_file(m.path(u"d\\gone.txt"), "x");
    m.write_file(m.path(u"d\\keep.txt"), "kept");
    const std::unique_ptr<platform::Folder> d = folder(u"d");
    ASSERT_NE(d, nullptr);

    // A replaced file has the new bytes and attributes, and still the rights (so the
    // owner) of the file it replaced.
    ASSERT_TRUE(d->replace_file(u"OLD.INI", bytes("new"), attr::kHidden));
    EXPECT_EQ(read(*d, u"old.ini"), std::optional<std::string>("new"));
    EXPECT_EQ(listed(*d).at(u"old.ini"), attr::kHidden);
    EXPECT_EQ(d->trust(u"old.ini").rule, machine_trust(u"d", u"old.ini").rule);

    // A private file is there with what was written into it, and is the run's own.
    {
        const std::unique_ptr<platform::File> kept = d->create_private_file(u"kept.ini");
        ASSERT_NE(kept, nullptr);
        ASSERT_TRUE(kept->write(bytes("secret")));
    }
    EXPECT_EQ(read(*d, u"kept.ini"), std::optional<std::string>("secret"));
    EXPECT_TRUE(d->trust(u"kept.ini").owner_only_changes());
    EXPECT_EQ(d->create_private_file(u"kept.ini"), nullptr);

    // A deleted file is gone, and a second Kill matches nothing.
    EXPECT_TRUE(d->delete_files(u"gone.*"));
    EXPECT_EQ(read(*d, u"gone.txt"), std::nullopt);
    EXPECT_EQ(listed(*d).count(u"gone.txt"), 0U);
    EXPECT_FALSE(d->delete_files(u"gone.*"));

    // A read-only file is listed so, and no longer opens for writing.
    ASSERT_TRUE(d->set_attributes(u"keep.txt", attr::kReadOnly));
    EXPECT_EQ(files().get_attributes(m.path(u"d\\keep.txt")), attr::kReadOnly | attr::kArchive);
    EXPECT_EQ(d->open_file(u"keep.txt", FileMode::ReadWrite), nullptr);
    EXPECT_FALSE(d->delete_files(u"keep.txt"));

    // A raw write is read back, and a second one keeps what it does not overwrite.
    for (const std::string_view part : {"AB", "x"}) {
        const std::unique_ptr<platform::File> raw =
            files().open_file(m.path(u"d\\raw.bin"), FileMode::ReadWrite);
        ASSERT_NE(raw, nullptr);
        ASSERT_TRUE(raw->write(bytes(part)));
    }
    EXPECT_EQ(read(*d, u"raw.bin"), std::optional<std::string>("xB"));
}

// A moved folder keeps what it holds, the machine's entries and the plan's alike, and who
// may change it; a folder the plan made is the run's own; a held folder stays where it is.
TEST_F(PlanContract, FoldersThePlanMovedOrMadeAreWhatItsReadsFind) {
    m.make_folder_others_may_change(m.path(u"planted"));
    m.write_file(m.path(u"planted\\version.dll"), "planted");
    m.make_folder(m.path(u"d"));
    m.make_folder(m.path(u"d\\sub"));
    m.write_file(m.path(u"d\\sub\\inner.txt"), "inner");
    m.make_folder(m.path(u"d\\empty"));

    // Made by someone else: moved aside, it is still theirs and still untrusted.
    const Text aside = m.path(u"planted.20261209-101500");
    ASSERT_TRUE(files().move(m.path(u"planted"), aside));
    EXPECT_EQ(files().open_folder(m.path(u"planted")), nullptr);
    const std::unique_ptr<platform::Folder> moved = files().open_folder(aside);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(read(*moved, u"version.dll"), std::optional<std::string>("planted"));
    EXPECT_EQ(files().private_directory_state(aside), PrivateFolder::Untrusted);
    EXPECT_EQ(files().make_private_directory(aside, PrivateAccess::AdministratorsChange).state,
              PrivateFolder::Untrusted);

    // What the plan wrote into a folder goes with it when the folder moves.
    {
        const std::unique_ptr<platform::Folder> sub = folder(u"d\\sub");
        ASSERT_NE(sub, nullptr);
        ASSERT_TRUE(sub->replace_file(u"added.txt", bytes("added"), attr::kNormal));
    }
    ASSERT_TRUE(files().move(m.path(u"d\\sub"), m.path(u"d\\moved")));
    std::unique_ptr<platform::Folder> there = folder(u"d\\moved");
    ASSERT_NE(there, nullptr);
    EXPECT_EQ(read(*there, u"added.txt"), std::optional<std::string>("added"));
    EXPECT_EQ(read(*there, u"inner.txt"), std::optional<std::string>("inner"));
    EXPECT_EQ(folder(u"d\\sub"), nullptr);

    // Held open, it is neither moved nor removed; let go, it is.
    EXPECT_FALSE(files().move(m.path(u"d\\moved"), m.path(u"d\\again")));
    there.reset();
    EXPECT_TRUE(files().move(m.path(u"d\\moved"), m.path(u"d\\again")));
    const std::unique_ptr<platform::Folder> d = folder(u"d");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->remove_folder(u"empty"));
    EXPECT_EQ(listed(*d), (std::map<Text, uint32_t>{{u"again", attr::kDirectory}}));

    // A private folder the plan made: there, empty, the run's own, found again as trusted.
    const platform::MadeFolder stage =
        d->make_private_folder(u"stage", PrivateAccess::AdministratorsOnly);
    ASSERT_EQ(stage.state, PrivateFolder::Created);
    ASSERT_NE(stage.folder, nullptr);
    EXPECT_TRUE(listed(*stage.folder).empty());
    EXPECT_TRUE(d->trust(u"stage").private_folder());
    EXPECT_EQ(d->make_private_folder(u"stage", PrivateAccess::AdministratorsOnly).state,
              PrivateFolder::Trusted);
}

// The shell's copy is the source's bytes wherever the plan moves it, even after the plan
// deleted the source; a settings file written into a copy keeps the copy's other lines.
TEST_F(PlanContract, CopiesAndSettingsThePlanWroteAreWhatItsReadsFind) {
    const std::string template_bytes = to_cp949(u"[일반]\r\n제목=펠토\r\n");
    m.make_folder(m.path(u"update"));
    m.make_folder(m.path(u"newer"));
    m.write_file(m.path(u"update\\Pelto.ini"), template_bytes);
    m.write_file(m.path(u"update\\installpelto_H.exe"), "first");
    m.write_file(m.path(u"newer\\installpelto_H.exe"), "second");
    m.make_folder(m.path(u"stage"));
    m.platform().shell.set_unattended(true);
    const std::unique_ptr<platform::Folder> stage = folder(u"stage");
    ASSERT_NE(stage, nullptr);
    const NoOwner owner;

    ASSERT_EQ(m.platform().shell.copy_file(owner, m.path(u"update\\installpelto_H.exe"), *stage),
              0);
    EXPECT_EQ(read(*stage, u"installpelto_H.exe"), std::optional<std::string>("first"));
    ASSERT_EQ(m.platform().shell.copy_file(owner, m.path(u"newer\\installpelto_H.exe"), *stage), 0);
    EXPECT_TRUE(files().delete_files(m.path(u"newer\\*.exe")));
    const std::unique_ptr<platform::File> held =
        stage->open_file(u"installpelto_H.exe", FileMode::Hold);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(platform::read_all(*held), std::optional<std::string>("second"));
    ASSERT_TRUE(files().move(m.path(u"stage\\installpelto_H.exe"), m.path(u"stage\\setup.exe")));
    EXPECT_EQ(read(*stage, u"setup.exe"), std::optional<std::string>("second"));

    ASSERT_EQ(m.platform().shell.copy_file(owner, m.path(u"update\\Pelto.ini"), *stage), 0);
    ASSERT_TRUE(m.platform().profiles.write_private_profile_string(
        *stage, u"pelto.ini", u"Database Server", u"server_name", u"기관서버"));
    EXPECT_EQ(read(*stage, u"Pelto.ini"),
              template_bytes + to_cp949(u"\r\n[Database Server]\r\nserver_name=기관서버\r\n"));
}

// What the plan set in the registry is what a key opened later finds, by any spelling of
// the name, and only through a key opened to be read.
TEST_F(PlanContract, RegistryValuesThePlanWroteAreWhatItsQueriesFind) {
    const Text key_path = m.registry_key();
    const std::string one("\x01\0\0\0", 4);
    const std::string two("\x02\0\0\0", 4);
    m.set_up_on_the_machine([&](platform::Platform& machine) {
        std::unique_ptr<platform::RegistryKey> machine_key;
        ASSERT_EQ(
            machine.registry.open_local_machine_key(key_path, platform::kKeySetValue, machine_key),
            platform::kRegSuccess);
        ASSERT_EQ(machine_key->set_value(u"EnableLUA", platform::kRegDword, bytes(one)),
                  platform::kRegSuccess);
    });
    std::unique_ptr<platform::RegistryKey> key;
    ASSERT_EQ(m.platform().registry.open_local_machine_key(
                  key_path, platform::kKeySetValue | platform::kKeyQueryValue, key),
              platform::kRegSuccess);
    const auto data = [](const std::optional<platform::RegistryData>& value) {
        return value
                   ? std::optional<std::string>(std::string(value->data.begin(), value->data.end()))
                   : std::nullopt;
    };
    EXPECT_EQ(data(key->query_value(u"EnableLUA")), std::optional<std::string>(one));
    ASSERT_EQ(key->set_value(u"enablelua", platform::kRegDword, bytes(two)), platform::kRegSuccess);
    std::string alias = to_cp949(u"DBMSSOCN,127.0.0.11");
    alias.push_back('\0');
    ASSERT_EQ(key->set_value(u"병원서버", platform::kRegSz, bytes(alias)), platform::kRegSuccess);
    EXPECT_EQ(data(key->query_value(u"ENABLELUA")), std::optional<std::string>(two));

    std::unique_ptr<platform::RegistryKey> later;
    ASSERT_EQ(
        m.platform().registry.open_local_machine_key(key_path, platform::kKeyQueryValue, later),
        platform::kRegSuccess);
    EXPECT_EQ(data(later->query_value(u"EnableLUA")), std::optional<std::string>(two));
    EXPECT_EQ(data(later->query_value(u"병원서버")), std::optional<std::string>(alias));
    std::unique_ptr<platform::RegistryKey> write_only;
    ASSERT_EQ(
        m.platform().registry.open_local_machine_key(key_path, platform::kKeySetValue, write_only),
        platform::kRegSuccess);
    EXPECT_EQ(write_only->query_value(u"EnableLUA"), std::nullopt);
}

// Every kind of write the plan makes, one after another, and not a byte, name, attribute,
// right or time of the machine's changes: only the plan holds them.
TEST_F(PlanContract, TheMachineUnderThePlanIsUnchangedByteForByte) {
    m.make_folder(m.path(u"d"));
    m.make_folder(m.path(u"d\\sub"));
    m.make_folder(m.path(u"update"));
    m.write_file(m.path(u"d\\Pelto.ini"), "[S]\r\nk=1\r\n");
    m.give_distinctive_rights(m.path(u"d\\Pelto.ini"));
    m.write_file(m.path(u"d\\old.txt"), "old");
    m.write_file(m.path(u"d\\sub\\inner.dll"), "inner");
    m.make_folder(m.path(u"d\\empty"));
    m.write_file(m.path(u"update\\installpelto_H.exe"), std::string(100000, 'i'));
    m.make_folder_others_may_change(m.path(u"planted"));
    ASSERT_TRUE(m.set_attributes(m.path(u"d\\old.txt"), attr::kHidden));
    const bool linked = m.make_link_to_outside(m.path(u"d\\link"));
    const Text key_path = m.registry_key();
    m.set_up_on_the_machine([&](platform::Platform& machine) {
        std::unique_ptr<platform::RegistryKey> machine_key;
        ASSERT_EQ(
            machine.registry.open_local_machine_key(key_path, platform::kKeySetValue, machine_key),
            platform::kRegSuccess);
        ASSERT_EQ(machine_key->set_value(u"EnableLUA", platform::kRegDword,
                                         bytes(std::string_view("\x01\0\0\0", 4))),
                  platform::kRegSuccess);
    });
    const std::string before = m.snapshot();

    std::unique_ptr<platform::Folder> d = folder(u"d");
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->replace_file(u"old.txt", bytes("new"), attr::kReadOnly));
    ASSERT_TRUE(d->set_attributes(u"Pelto.ini", attr::kHidden));
    ASSERT_TRUE(d->set_attributes(attr::kSystem));
    ASSERT_TRUE(
        m.platform().profiles.write_private_profile_string(*d, u"Pelto.ini", u"S", u"k", u"2"));
    ASSERT_NE(d->create_private_file(u"kept.ini"), nullptr);
    ASSERT_TRUE(d->delete_files(u"kept.ini"));
    ASSERT_TRUE(d->remove_folder(u"empty"));
    if (linked) {
        ASSERT_TRUE(d->remove_link(u"link"));
    }
    const platform::MadeFolder stage =
        d->make_private_folder(u"stage", PrivateAccess::AdministratorsChange);
    ASSERT_EQ(stage.state, PrivateFolder::Created);
    m.platform().shell.set_unattended(true);
    const NoOwner owner;
    ASSERT_EQ(
        m.platform().shell.copy_file(owner, m.path(u"update\\installpelto_H.exe"), *stage.folder),
        0);
    ASSERT_TRUE(files().move(m.path(u"d\\sub"), m.path(u"d\\stage\\sub")));
    ASSERT_TRUE(files().move(m.path(u"planted"), m.path(u"planted.aside")));
    {
        const std::unique_ptr<platform::File> raw =
            files().open_file(m.path(u"d\\Pelto.ini"), FileMode::ReadWrite);
        ASSERT_NE(raw, nullptr);
        ASSERT_TRUE(raw->write(bytes("[T]")));
    }
    d.reset();
    ASSERT_TRUE(files().set_attributes(m.path(u"d"), attr::kHidden));
    {
        std::unique_ptr<platform::RegistryKey> key;
        ASSERT_EQ(
            m.platform().registry.open_local_machine_key(key_path, platform::kKeySetValue, key),
            platform::kRegSuccess);
        ASSERT_EQ(key->set_value(u"EnableLUA", platform::kRegDword,
                                 bytes(std::string_view("\x02\0\0\0", 4))),
                  platform::kRegSuccess);
        ASSERT_EQ(key->set_value(u"new", platform::kRegSz, bytes(std::string("v\0", 2))),
                  platform::kRegSuccess);
    }

    EXPECT_EQ(m.snapshot(), before);
    EXPECT_GE(m.plan().record().events().size(), 10U);
}

} // namespace
} // namespace pelto::contract
