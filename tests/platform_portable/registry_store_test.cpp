#include "platform/codepage.h"
#include "platform/portable/registry_store.h"
#include "tests/support/temp_machine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

constexpr TextView kConnectTo = u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";

const std::string kStore =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; written by hand\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo]\r\n"
    "\"OLD\"=\"DBMSSOCN,10.0.0.1\"\r\n"
    "\"Path\"=\"C:\\\\Pelto \\\"H\\\"\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System]\r\n"
    "\"EnableLUA\"=dword:00000001\r\n"
    "@=\"default\"\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  03,ff\r\n"
    "\r\n";

std::vector<uint8_t> bytes_of(std::string_view s) {
    return {s.begin(), s.end()};
}

std::vector<uint8_t> text_data(TextView text) {
    std::vector<uint8_t> data = bytes_of(to_cp949(text));
    data.push_back(0);
    return data;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    TempMachine t;
    PortableRegistry& registry() { return t.machine().registry(); }
    fs::path store() { return registry().store_file(); }
    void write_store(std::string_view text) { testing::write_host_file(store(), text); }
    std::string store_text() { return testing::read_host_file(store()); }

    long set(TextView key_path, TextView name, uint32_t type, const std::vector<uint8_t>& data) {
        std::unique_ptr<RegistryKey> key;
        const long opened = registry().open_local_machine_key(key_path, kKeySetValue, key);
        if (opened != kRegSuccess) {
            return opened;
        }
        return key->set_value(name, type, data);
    }
};

TEST_F(RegistryStoreTest, ReadsTheFormsRegeditWrites) {
    write_store(kStore);
    EXPECT_TRUE(registry().key_exists(u"software\\microsoft\\mssqlserver\\client\\connectto"));
    EXPECT_TRUE(registry().key_exists(u"SOFTWARE\\Microsoft")); // named by its subkeys
    EXPECT_FALSE(registry().key_exists(u"SOFTWARE\\Micro"));
    EXPECT_EQ(registry().read_string(kConnectTo, u"old"), Text(u"DBMSSOCN,10.0.0.1"));
    EXPECT_EQ(registry().read_string(kConnectTo, u"Path"), Text(u"C:\\Pelto \"H\""));
    const TextView policies = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    EXPECT_EQ(registry().read_dword(policies, u"enablelua"), 1U);
    EXPECT_EQ(registry().read_string(policies, u""), Text(u"default"));
    EXPECT_EQ(registry().read_value(policies, u"Blob"), (RegValue{kRegBinary, {1, 2, 3, 255}}));
    EXPECT_EQ(registry().connect_to_lookup()(u"OLD"), Text(u"DBMSSOCN,10.0.0.1"));
    EXPECT_EQ(registry().connect_to_lookup()(u"missing"), std::nullopt);
}

TEST_F(RegistryStoreTest, KoreanTextKeepsItsCodePageBytes) {
    write_store(kStore);
    const std::vector<uint8_t> data = text_data(u"서버한글");
    ASSERT_EQ(data.size(), 9U); // two bytes per syllable and the NUL
    ASSERT_EQ(set(kConnectTo, u"기관서버", kRegSz, data), kRegSuccess);
    EXPECT_EQ(registry().read_value(kConnectTo, u"기관서버"), (RegValue{kRegSz, data}));
    EXPECT_EQ(registry().read_string(kConnectTo, u"기관서버"), Text(u"서버한글"));
    EXPECT_NE(store_text().find("\"기관서버\"=\"서버한글\"\r\n"), std::string::npos);
}

TEST_F(RegistryStoreTest, WritesChangeOnlyTheirOwnLines) {
    write_store(kStore);
    ASSERT_EQ(set(kConnectTo, u"old", kRegSz, text_data(u"DBMSSOCN,10.0.0.2")), kRegSuccess);
    ASSERT_EQ(set(kConnectTo, u"127.0.0.11", kRegSz, text_data(u"DBMSSOCN,127.0.0.11")),
              kRegSuccess);
    ASSERT_EQ(set(kConnectTo, u"127.0.0.11", kRegSz, text_data(u"DBMSSOCN,127.0.0.11,4181")),
              kRegSuccess);
    const TextView policies = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    ASSERT_EQ(set(policies, u"EnableLUA", kRegDword, {0, 0, 0, 0}), kRegSuccess);
    ASSERT_EQ(set(policies, u"ConsentPromptBehaviorAdmin", kRegDword, {5, 0, 0, 0}), kRegSuccess);
    // Data the quoted form cannot hold exactly keeps its bytes.
    ASSERT_EQ(set(policies, u"NoNul", kRegSz, bytes_of("abc")), kRegSuccess);
    ASSERT_EQ(set(policies, u"Short", kRegDword, {1, 2}), kRegSuccess);
    ASSERT_EQ(set(policies, u"Bad949", kRegSz, {0x80, 0x41, 0}), kRegSuccess);
    ASSERT_EQ(set(policies, u"Multi", kRegSz, text_data(u"a\r\nb")), kRegSuccess);

    const std::string expected =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; written by hand\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo]\r\n"
        "\"OLD\"=\"DBMSSOCN,10.0.0.2\"\r\n"
        "\"Path\"=\"C:\\\\Pelto \\\"H\\\"\"\r\n"
        "\"127.0.0.11\"=\"DBMSSOCN,127.0.0.11,4181\"\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System]\r\n"
        "\"EnableLUA\"=dword:00000000\r\n"
        "@=\"default\"\r\n"
        "\"Blob\"=hex:01,02,\\\r\n"
        "  03,ff\r\n"
        "\"ConsentPromptBehaviorAdmin\"=dword:00000005\r\n"
        "\"NoNul\"=hex(1):61,62,63\r\n"
        "\"Short\"=hex(4):01,02\r\n"
        "\"Bad949\"=hex(1):80,41,00\r\n"
        "\"Multi\"=hex(1):61,0d,0a,62,00\r\n"
        "\r\n";
    EXPECT_EQ(store_text(), expected);
    EXPECT_EQ(registry().values(kConnectTo).size(), 3U);
    EXPECT_EQ(registry().read_value(policies, u"NoNul"), (RegValue{kRegSz, bytes_of("abc")}));
    EXPECT_EQ(registry().read_value(policies, u"Bad949"), (RegValue{kRegSz, {0x80, 0x41, 0}}));
}

TEST_F(RegistryStoreTest, MissingKeysAreNeitherOpenedNorCreated) {
    write_store(kStore);
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry().open_local_machine_key(u"SOFTWARE\\Missing", kKeySetValue, key),
              kRegFileNotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(store_text(), kStore);
    // A key named only by a subkey exists; its first value gives it its own line.
    ASSERT_EQ(set(u"SOFTWARE\\Microsoft\\MSSQLServer", u"v", kRegDword, {1, 0, 0, 0}), kRegSuccess);
    EXPECT_EQ(store_text(), kStore + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer]\r\n"
                                     "\"v\"=dword:00000001\r\n");
    // No store at all: no key.
    fs::remove(store());
    EXPECT_EQ(registry().open_local_machine_key(kConnectTo, kKeySetValue, key), kRegFileNotFound);
    EXPECT_FALSE(fs::exists(store()));
}

TEST_F(RegistryStoreTest, KeysOpenedWithoutSetValueRefuseWrites) {
    write_store(kStore);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry().open_local_machine_key(kConnectTo, 0x20019 /* KEY_READ */, key),
              kRegSuccess);
    EXPECT_EQ(key->set_value(u"x", kRegSz, text_data(u"y")), kRegAccessDenied);
    ASSERT_EQ(
        registry().open_local_machine_key(kConnectTo, kKeySetValue | 0x200 /* WOW64_32KEY */, key),
        kRegSuccess);
    EXPECT_EQ(key->set_value(u"x", kRegSz, text_data(u"y")), kRegSuccess);
}

TEST_F(RegistryStoreTest, AnUnreadableStoreIsReportedAndNeverWritten) {
    const std::string corrupt = kStore + "this line is not registry text\r\n";
    write_store(corrupt);
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry().open_local_machine_key(kConnectTo, kKeySetValue, key), kRegBadDatabase);
    EXPECT_EQ(registry().create_key(u"SOFTWARE\\New"), kRegBadDatabase);
    EXPECT_EQ(store_text(), corrupt);
    EXPECT_TRUE(t.log().contains("cannot be parsed (line 14"));
    EXPECT_EQ(registry().read_string(kConnectTo, u"OLD"), std::nullopt);

    // A store that goes bad while a key is open.
    write_store(kStore);
    ASSERT_EQ(registry().open_local_machine_key(kConnectTo, kKeySetValue, key), kRegSuccess);
    for (const std::string& bad :
         {std::string("REGEDIT4\r\n"),
          std::string("\xFF\xFE"
                      "W\0i\0",
                      6),
          kStore + "\"orphan\"=\"x\r\n", kStore + "[-HKEY_LOCAL_MACHINE\\X]\r\n",
          kStore + "[HKEY_CURRENT_USER\\X]\r\n"}) {
        write_store(bad);
        EXPECT_EQ(key->set_value(u"x", kRegSz, text_data(u"y")), kRegBadDatabase);
        EXPECT_EQ(store_text(), bad);
    }
}

TEST_F(RegistryStoreTest, WritesReplaceTheStoreWhole) {
    write_store(kStore);
    fs::permissions(store(),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat before {};
    ASSERT_EQ(::stat(store().c_str(), &before), 0);
    ASSERT_EQ(set(kConnectTo, u"new", kRegSz, text_data(u"v")), kRegSuccess);
    struct stat after {};
    ASSERT_EQ(::stat(store().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino); // renamed into place, not rewritten
    EXPECT_EQ(after.st_mode & 07777, 0640U);
    // Nothing but the store is left in its folder.
    EXPECT_EQ(
        std::distance(fs::directory_iterator(store().parent_path()), fs::directory_iterator()), 1);
}

TEST_F(RegistryStoreTest, CreatedKeysStartAStoreAndKeepItsLineEnds) {
    fs::remove_all(store().parent_path());
    ASSERT_EQ(registry().create_key(kConnectTo), kRegSuccess);
    EXPECT_EQ(store_text(),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo]\r\n");
    EXPECT_EQ(registry().create_key(u"software\\MICROSOFT\\mssqlserver\\client\\connectto"),
              kRegSuccess);
    EXPECT_EQ(registry().create_key(u"bad\\\\path"), kRegInvalidParameter);

    write_store("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"");
    ASSERT_EQ(set(u"A", u"y", kRegSz, text_data(u"2")), kRegSuccess);
    ASSERT_EQ(registry().create_key(u"B"), kRegSuccess);
    EXPECT_EQ(store_text(), "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n"
                            "\"x\"=\"1\"\n\"y\"=\"2\"\n\n[HKEY_LOCAL_MACHINE\\B]\n");
}

} // namespace
} // namespace pelto::platform::portable
