// Values written through the real registry of the Windows build and read back with the
// registry's own functions, in the 32-bit view the shipped program sees.
#include "platform/win32/registry_win32.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace pelto::platform::win32 {
namespace {

// A key of the test's own below HKLM\SOFTWARE (32-bit view), removed afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = u"SOFTWARE\\PeltoTest\\" + Text(u"key") +
                from_utf8(std::to_string(GetCurrentProcessId()) + "-" +
                          std::to_string(GetTickCount64()));
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, to_cp949(path_).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(created);
    }
    void TearDown() override {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, to_cp949(path_).c_str(), KEY_WOW64_32KEY, 0);
    }

    // The value as RegQueryValueExA gives it: type and raw bytes.
    bool query(TextView name, DWORD& type, std::string& data, REGSAM view = KEY_WOW64_32KEY) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, to_cp949(path_).c_str(), 0, KEY_QUERY_VALUE | view,
                          &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD size = 0;
        const std::string value_name = to_cp949(name);
        LONG rc = RegQueryValueExA(key, value_name.c_str(), nullptr, &type, nullptr, &size);
        data.assign(size, '\0');
        if (rc == ERROR_SUCCESS) {
            rc = RegQueryValueExA(key, value_name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        }
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }

    static std::span<const uint8_t> bytes(const std::string& s) {
        return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
    }

    Text path_;
    Win32Registry registry_;
};

TEST_F(RegistryTest, KoreanTextValueKeepsItsCodePage949SizeAndName) {
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry_.open_local_machine_key(path_, kKeySetValue, key), kRegSuccess);
    ASSERT_NE(key, nullptr);
    std::string data = to_cp949(u"DBNMPNTW,\\\\병원서버\\pipe\\sql\\query");
    data.push_back('\0');
    EXPECT_EQ(key->set_value(u"병원서버", kRegSz, bytes(data)), kRegSuccess);
    key.reset(); // RegCloseKey

    DWORD type = 0;
    std::string stored;
    ASSERT_TRUE(query(u"병원서버", type, stored));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // Four Hangul syllables of two bytes, 26 ASCII characters, the terminating NUL.
    EXPECT_EQ(stored.size(), 4U * 2 + 26U + 1U);
    EXPECT_EQ(stored, data);
}

TEST_F(RegistryTest, DwordAndOverwriteLeaveOneValueWithTheLastData) {
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry_.open_local_machine_key(path_, kKeySetValue, key), kRegSuccess);
    const std::string first("\x01\x00\x00\x00", 4);
    const std::string second("\x02\x00\x00\x00", 4);
    EXPECT_EQ(key->set_value(u"ConsentPromptBehaviorAdmin", kRegDword, bytes(first)), kRegSuccess);
    EXPECT_EQ(key->set_value(u"ConsentPromptBehaviorAdmin", kRegDword, bytes(second)), kRegSuccess);
    key.reset();
    DWORD type = 0;
    std::string stored;
    ASSERT_TRUE(query(u"ConsentPromptBehaviorAdmin", type, stored));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored, second);
}

TEST_F(RegistryTest, MissingKeyIsNotCreated) {
    const Text missing = path_ + u"\\ConnectTo";
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry_.open_local_machine_key(missing, kKeySetValue, key), kRegFileNotFound);
    EXPECT_EQ(key, nullptr);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, to_cp949(missing).c_str(), 0,
                            KEY_READ | KEY_WOW64_32KEY, &probe),
              ERROR_FILE_NOT_FOUND);
}

#if defined(_WIN64)
TEST_F(RegistryTest, SixtyFourBitBuildWritesTheThirtyTwoBitView) {
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry_.open_local_machine_key(path_, kKeySetValue, key), kRegSuccess);
    const std::string data("1\0", 2);
    ASSERT_EQ(key->set_value(u"view", kRegSz, bytes(data)), kRegSuccess);
    key.reset();
    DWORD type = 0;
    std::string stored;
    EXPECT_TRUE(query(u"view", type, stored, KEY_WOW64_32KEY));
    // The 64-bit view of the same path has no such key: the write went to Wow6432Node.
    EXPECT_FALSE(query(u"view", type, stored, KEY_WOW64_64KEY));
}
#endif

} // namespace
} // namespace pelto::platform::win32
