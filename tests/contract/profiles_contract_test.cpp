// Settings files: code page 949 bytes whatever the machine's own code page, every byte the
// write does not concern kept, nothing written where nothing should be.
#include "platform/codepage.h"
#include "platform/windows_path.h"
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>

namespace pelto::contract {
namespace {

class ProfilesContract : public ::testing::Test {
protected:
    // The write into the file's folder, held open as the run holds it.
    bool write(TextView section, TextView key, TextView value, TextView file) {
        const std::optional<platform::FolderAndName> at = platform::split_folder_and_name(file);
        const std::unique_ptr<platform::Folder> folder =
            platform::paths(m.platform()).open_folder(at->folder);
        return folder && m.platform().profiles.write_private_profile_string(*folder, at->name,
                                                                            section, key, value);
    }
    ContractMachine m;
};

TEST_F(ProfilesContract, AMissingFileIsCreatedInCodePage949AndAMissingFolderGetsNothing) {
    const Text ini = m.path(u"Pelto.ini");
    EXPECT_TRUE(write(u"Database Server", u"server_name", u"병원서버", ini));
    EXPECT_EQ(m.read_file(ini),
              "[Database Server]\r\nserver_name=" + to_cp949(u"병원서버") + "\r\n");

    EXPECT_FALSE(write(u"Database Server", u"server_id", u"sa", m.path(u"bin\\Pelto.ini")));
    EXPECT_FALSE(m.exists(m.path(u"bin")));
}

TEST_F(ProfilesContract, ATemplateKeepsEveryByteTheWriteDoesNotConcern) {
    // Korean text in the template, "\n" lines and a last line without a line end: the
    // machine's code page must touch none of them.
    const std::string original = to_cp949(u"; 펠토 설정 갂똠\r\n[일반]\r\n제목=펠토\r\n\r\n"
                                          u"[Database Server]\r\nserver_name=old\r\n"
                                          u"server_id=sa\r\n\r\n[Printer]\nport=LPT1");
    m.write_file(m.path(u"Pelto.ini"), original);
    const Text ini = m.path(u"PELTO.INI");
    ASSERT_TRUE(write(u"database server", u"SERVER_NAME", u"기관서버", ini));
    ASSERT_TRUE(write(u"Database Server", u"server_pwd", u"비밀", ini));
    EXPECT_EQ(m.read_file(m.path(u"Pelto.ini")),
              to_cp949(u"; 펠토 설정 갂똠\r\n[일반]\r\n제목=펠토\r\n\r\n"
                       u"[Database Server]\r\nSERVER_NAME=기관서버\r\nserver_id=sa\r\n"
                       u"server_pwd=비밀\r\n\r\n[Printer]\nport=LPT1"));
    EXPECT_FALSE(any_line_holds(m.log_lines(), "비밀"));
}

TEST_F(ProfilesContract, ReadOnlyUnicodeOrLineBreakingWritesChangeNothing) {
    const Text ini = m.path(u"a.ini");
    m.write_file(ini, "[S]\r\nk=1\r\n");
    // A line break in the text would add entries of its own.
    EXPECT_FALSE(write(u"S", u"k", u"x\r\n[Other]\r\nevil=1", ini));
    EXPECT_FALSE(write(u"S", u"k\nz", u"x", ini));
    EXPECT_EQ(m.read_file(ini), "[S]\r\nk=1\r\n");

    ASSERT_TRUE(platform::paths(m.platform()).set_attributes(ini, platform::attr::kReadOnly));
    EXPECT_FALSE(write(u"S", u"k", u"3", ini));
    EXPECT_EQ(m.read_file(ini), "[S]\r\nk=1\r\n");
    ASSERT_TRUE(platform::paths(m.platform()).set_attributes(ini, platform::attr::kNormal));

    // Nor does code page 949 text go into a UTF-16 file.
    const std::string unicode("\xFF\xFE[\0S\0]\0", 8);
    m.write_file(m.path(u"u.ini"), unicode);
    EXPECT_FALSE(write(u"S", u"k", u"v", m.path(u"u.ini")));
    EXPECT_EQ(m.read_file(m.path(u"u.ini")), unicode);
}

TEST_F(ProfilesContract, AFileTheSystemWillNotReplaceIsLeftAndTheRefusingCallNamed) {
    if (const auto why = m.why_the_plan_cannot_show(RealEffect::MachineRefuses)) {
        GTEST_SKIP() << *why;
    }
    const Text ini = m.path(u"Pelto.ini");
    m.write_file(ini, "[S]\r\nk=1\r\n");
    {
        const auto hold = m.keep_from_deletion(ini);
        if (hold == nullptr) {
            GTEST_SKIP() << "no way to keep a file from being replaced here";
        }
        EXPECT_FALSE(write(u"S", u"k", u"2", ini));
    }
    EXPECT_EQ(m.read_file(ini), std::optional<std::string>("[S]\r\nk=1\r\n"));
    EXPECT_TRUE(any_line_holds(m.log_lines(), " failed on " + to_utf8(ini)));
}

} // namespace
} // namespace pelto::contract
