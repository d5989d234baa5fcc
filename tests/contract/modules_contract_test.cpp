// mdl함수 and mdl레지스트리 on each platform's real services: the old program folders go
// whole, the settings writer answers as VB's call did, and what the registry module writes
// is what the registry holds.
#include "installer/mdl_functions.h"
#include "installer/private_folders.h"
#include "platform/codepage.h"
#include "platform/folder_walk.h"
#include "registry/mdl_registry.h"
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>
#include <set>

namespace pelto::contract {
namespace {

namespace attr = platform::attr;
using Value = ContractMachine::RegistryValue;

class FunctionsModuleContract : public ::testing::Test {
protected:
    platform::PathFiles files() { return platform::paths(m.platform()); }
    bool delete_folder(TextView path) { return mdl함수::fG_DeleteFolder(m.platform(), Text(path)); }
    void file(TextView relative, uint32_t attributes = attr::kNormal) {
        m.write_file(m.path(relative), "x");
        ASSERT_TRUE(m.set_attributes(m.path(relative), attributes));
    }
    void folder(TextView relative, uint32_t attributes = attr::kNormal) {
        m.make_folder(m.path(relative));
        ASSERT_TRUE(m.set_attributes(m.path(relative), attributes));
    }
    ContractMachine m;
};

TEST_F(FunctionsModuleContract, ATreeWithProtectedFilesGoesWholeByAnySpelling) {
    folder(u"Resource", attr::kReadOnly);
    file(u"Resource\\a.dat", attr::kReadOnly);
    file(u"Resource\\h.dat", attr::kHidden);
    file(u"Resource\\s.dat", attr::kSystem | attr::kHidden | attr::kReadOnly);
    folder(u"Resource\\이미지", attr::kReadOnly);
    file(u"Resource\\이미지\\그림.bmp", attr::kReadOnly);
    folder(u"Resource\\이미지\\empty");
    EXPECT_TRUE(delete_folder(m.path(u"RESOURCE\\")));
    EXPECT_FALSE(m.exists(m.path(u"Resource")));
    EXPECT_TRUE(m.exists(m.path()));
}

TEST_F(FunctionsModuleContract, NothingAFileOrAHiddenFolderIsLeftAlone) {
    file(u"plain.dat");
    EXPECT_FALSE(delete_folder(m.path(u"none")));
    EXPECT_FALSE(delete_folder(m.path(u"plain.dat")));
    EXPECT_FALSE(delete_folder(m.path(u"plain.dat\\")));
    EXPECT_TRUE(m.exists(m.path(u"plain.dat")));

    // The directory look-up does not see a hidden folder, at the top or below.
    folder(u"Hidden");
    file(u"Hidden\\f.dat");
    ASSERT_TRUE(m.set_attributes(m.path(u"Hidden"), attr::kHidden));
    EXPECT_FALSE(delete_folder(m.path(u"Hidden")));
    EXPECT_TRUE(m.exists(m.path(u"Hidden\\f.dat")));
    folder(u"Tree");
    file(u"Tree\\a.txt");
    folder(u"Tree\\A_hidden");
    file(u"Tree\\A_hidden\\f.txt");
    folder(u"Tree\\B_plain");
    file(u"Tree\\B_plain\\f.txt");
    ASSERT_TRUE(m.set_attributes(m.path(u"Tree\\A_hidden"), attr::kHidden));
    EXPECT_FALSE(delete_folder(m.path(u"Tree")));
    EXPECT_TRUE(m.exists(m.path(u"Tree\\A_hidden\\f.txt")));
    EXPECT_FALSE(m.exists(m.path(u"Tree\\a.txt")));
    EXPECT_FALSE(m.exists(m.path(u"Tree\\B_plain")));
}

TEST_F(FunctionsModuleContract, AFileThatCannotBeDeletedStaysQuietlyWithItsFolders) {
    if (const auto why = m.why_the_plan_cannot_show(RealEffect::MachineRefuses)) {
        GTEST_SKIP() << *why;
    }
    folder(u"Resource");
    file(u"Resource\\a.txt");
    folder(u"Resource\\Busy");
    m.write_file(m.path(u"Resource\\Busy\\busy.dat"), "in use");
    folder(u"Resource\\Zeta");
    file(u"Resource\\Zeta\\z.txt");
    bool result = false;
    {
        const auto hold = m.keep_from_deletion(m.path(u"Resource\\Busy\\busy.dat"));
        if (hold == nullptr) {
            GTEST_SKIP() << "no way to keep a file from deletion here";
        }
        result = delete_folder(m.path(u"Resource"));
    }
    EXPECT_TRUE(result);
    EXPECT_EQ(m.read_file(m.path(u"Resource\\Busy\\busy.dat")),
              std::optional<std::string>("in use"));
    EXPECT_FALSE(m.exists(m.path(u"Resource\\a.txt")));
    EXPECT_FALSE(m.exists(m.path(u"Resource\\Zeta")));
    EXPECT_TRUE(any_line_holds(m.log_lines(), "RmDir " + to_utf8(m.path(u"Resource")) + " failed"));
}

// A file of the tree with a second name elsewhere (a system library, say): the name in the
// tree goes where the rules let it go, and the other file's attributes never change.
TEST_F(FunctionsModuleContract, AFileWithASecondNameKeepsItsAttributes) {
    file(u"sys.dll", attr::kReadOnly | attr::kHidden | attr::kSystem);
    file(u"plain.dll");
    folder(u"Resource");
    folder(u"Resource\\images");
    if (!m.make_hard_link(m.path(u"sys.dll"), m.path(u"Resource\\images\\sys.dll")) ||
        !m.make_hard_link(m.path(u"plain.dll"), m.path(u"Resource\\images\\plain.dll"))) {
        GTEST_SKIP() << "this system cannot make hard links";
    }
    const auto attributes = [&](TextView relative) {
        return files().get_attributes(m.path(relative)).value_or(0) & ~attr::kArchive;
    };
    mdl함수::fG_DeleteFolder(m.platform(), m.path(u"Resource"));
    EXPECT_EQ(attributes(u"sys.dll"), attr::kReadOnly | attr::kHidden | attr::kSystem);
    EXPECT_EQ(m.read_file(m.path(u"sys.dll")), std::optional<std::string>("x"));
    // Its marks keep the protected name from Kill; the plain one goes.
    EXPECT_TRUE(m.exists(m.path(u"Resource\\images\\sys.dll")));
    EXPECT_FALSE(m.exists(m.path(u"Resource\\images\\plain.dll")));
    EXPECT_TRUE(m.exists(m.path(u"plain.dll")));
    EXPECT_TRUE(any_line_holds(m.log_lines(), "has another name"));
}

TEST_F(FunctionsModuleContract, WriteIniIsTrueWhenTheCallIsMadeWhateverItAchieved) {
    const Text ini = m.path(u"Pelto.ini");
    EXPECT_TRUE(
        mdl함수::fG_WriteIni(m.platform(), u"Database Server", u"server_name", u"기관서버", ini));
    EXPECT_TRUE(mdl함수::fG_WriteIni(m.platform(), u"Database Server", u"server_id", u"sa", ini));
    EXPECT_EQ(m.read_file(ini),
              to_cp949(u"[Database Server]\r\nserver_name=기관서버\r\nserver_id=sa\r\n"));
    EXPECT_TRUE(mdl함수::fG_WriteIni(m.platform(), u"Database Server", u"server_pwd", u"pw",
                                     m.path(u"missing\\Pelto.ini")));
    EXPECT_FALSE(m.exists(m.path(u"missing")));
    EXPECT_TRUE(any_line_holds(
        m.log_lines(), "functions: WritePrivateProfileString [Database Server] server_pwd"));
}

// The run's own folders: a private folder it starts programs from holds only what the run
// puts there, and no folder is reached through a link someone else may change.
class RunFoldersContract : public ::testing::Test {
protected:
    std::set<Text> names(platform::Folder& folder) {
        std::set<Text> out;
        const std::vector<platform::DirEntry> listed = folder.list(u"*", 55).value();
        for (const platform::DirEntry& e : listed) {
            out.insert(e.name);
        }
        return out;
    }
    ContractMachine m;
};

TEST_F(RunFoldersContract, APrivateFolderIsEmptiedButForItsKeptSets) {
    platform::Platform& p = m.platform();
    const std::unique_ptr<platform::Folder> parent = platform::paths(p).open_folder(m.path());
    ASSERT_NE(parent, nullptr);
    const std::unique_ptr<platform::Folder> stage = installer::prepare_private_folder(
        p, *parent, u"stage", platform::PrivateAccess::AdministratorsChange, u"20261209-100000");
    const std::unique_ptr<platform::Folder> kept = installer::prepare_private_folder(
        p, *stage, u"보관", platform::PrivateAccess::AdministratorsOnly, u"20261209-100000");
    m.write_file(m.path(u"stage\\보관\\Pelto.ini"), "kept");
    m.write_file(m.path(u"stage\\version.dll"), "planted");
    m.write_file(m.path(u"stage\\installpelto_H.exe"), "an earlier run's");
    m.write_file(m.path(u"stage\\locked.exe"), "read-only");
    m.make_folder(m.path(u"stage\\sub"));
    m.write_file(m.path(u"stage\\sub\\inner.dll"), "planted below");
    ASSERT_TRUE(m.set_attributes(m.path(u"stage\\locked.exe"), attr::kReadOnly | attr::kHidden));

    installer::empty_private_folder(p, *parent, *stage, u"20261209-100000");
    EXPECT_EQ(names(*stage), std::set<Text>{u"보관"});
    EXPECT_EQ(m.read_file(m.path(u"stage\\보관\\Pelto.ini")), std::optional<std::string>("kept"));
    // What could not be deleted by Kill's rule, and every folder, is moved aside whole.
    const Text aside = m.path(u"stage.20261209-100000");
    EXPECT_EQ(m.read_file(aside + u"\\sub\\inner.dll"),
              std::optional<std::string>("planted below"));
    EXPECT_EQ(m.read_file(aside + u"\\locked.exe"), std::optional<std::string>("read-only"));
    EXPECT_FALSE(m.exists(aside + u"\\version.dll"));
    EXPECT_FALSE(m.exists(aside + u"\\installpelto_H.exe"));
}

TEST_F(RunFoldersContract, AWalkFollowsOnlyALinkNobodyElseMayChange) {
    platform::Platform& p = m.platform();
    m.write_file(m.path(u"moved\\bin\\Pelto.ini"), "x");
    if (!m.make_link(m.path(u"Pelto_H"), m.path(u"moved"))) {
        GTEST_SKIP() << "this system cannot make symbolic links";
    }
    // The run's owner made it, and nobody else may change the folders it leads through.
    platform::ReachedFolder reached =
        platform::reach_folder(p.files, p.log, m.path(u"Pelto_H\\bin"));
    ASSERT_EQ(reached.outcome, platform::Reach::Opened) << platform::reach_text(reached);
    EXPECT_TRUE(equals_ignore_case(reached.folder->path(), m.path(u"moved\\bin")));
    // A folder it leads through that others may change: the link is not followed.
    m.make_folder_others_may_change(m.path(u"open"));
    m.make_folder(m.path(u"open\\bin"));
    ASSERT_TRUE(m.make_link(m.path(u"Other"), m.path(u"open")));
    reached = platform::reach_folder(p.files, p.log, m.path(u"Other\\bin"));
    EXPECT_EQ(reached.outcome, platform::Reach::Link);
    EXPECT_EQ(reached.folder, nullptr);
    EXPECT_TRUE(any_line_holds(m.log_lines(), "not followed"));
}

class RegistryModuleContract : public ::testing::Test {
protected:
    void set(TextView name, const Variant& value, int32_t type) {
        mdl레지스트리::sG_SetRegValue(m.platform(), key, Text(name), value, type);
    }
    std::optional<Value> value(TextView name) { return m.read_registry_value(key, name); }
    ContractMachine m;
    const Text key = m.registry_key();
};

TEST_F(RegistryModuleContract, AliasesArePolicyNumbersAndTheLastWriteStays) {
    set(u"127.0.0.11", Variant(u"DBMSSOCN,1.1.1.1"), 1);
    set(u"127.0.0.11", Variant(u"DBMSSOCN,127.0.0.11"), 1);
    EXPECT_EQ(value(u"127.0.0.11"), (Value{1, std::string("DBMSSOCN,127.0.0.11\0", 20)}));
    // Korean text counts its code page 949 bytes: three syllables of two and the NUL.
    set(u"기관서버", Variant(u"한글값"), 1);
    EXPECT_EQ(value(u"기관서버"), (Value{1, std::string("\xC7\xD1\xB1\xDB\xB0\xAA\0", 7)}));

    set(u"EnableLUA", Variant(int32_t{2}), 4);
    set(u"ConsentPromptBehaviorAdmin", Variant(u"5"), 4);
    set(u"FilterAdministratorToken", Variant(int32_t{-1}), 4);
    set(u"Rounded", Variant(2.5), 4); // CLng rounds half to even
    EXPECT_EQ(value(u"EnableLUA"), (Value{4, std::string("\x02\0\0\0", 4)}));
    EXPECT_EQ(value(u"ConsentPromptBehaviorAdmin"), (Value{4, std::string("\x05\0\0\0", 4)}));
    EXPECT_EQ(value(u"FilterAdministratorToken"), (Value{4, std::string("\xFF\xFF\xFF\xFF", 4)}));
    EXPECT_EQ(value(u"Rounded"), (Value{4, std::string("\x02\0\0\0", 4)}));
}

TEST_F(RegistryModuleContract, OtherTypesAndMissingKeysWriteNothingAndSaySo) {
    set(u"expand", Variant(u"%TEMP%"), 2);
    set(u"binary", Variant(u"x"), 3);
    EXPECT_EQ(value(u"expand"), std::nullopt);
    EXPECT_EQ(value(u"binary"), std::nullopt);

    const Text missing = key + u"\\ConnectTo";
    mdl레지스트리::sG_SetRegValue(m.platform(), missing, u"127.0.0.11",
                                  Variant(u"DBMSSOCN,127.0.0.11"), 1);
    EXPECT_EQ(m.read_registry_value(missing, u"127.0.0.11"), std::nullopt);
    std::unique_ptr<platform::RegistryKey> probe;
    EXPECT_EQ(m.platform().registry.open_local_machine_key(missing, platform::kKeySetValue, probe),
              platform::kRegFileNotFound);
    EXPECT_TRUE(
        any_line_holds(m.log_lines(), "registry: open HKLM\\" + to_utf8(missing) + ": status 2"));
}

} // namespace
} // namespace pelto::contract
