// Values written through the real registry of the Windows build and read back with the
// registry's own "W" functions, in the 32-bit view the shipped program sees. The stage runs
// these tests on a Korean and on a Western prefix: names and text must not depend on the
// machine's code page.
#include "platform/codepage.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/wide.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace pelto::platform::win32 {
namespace {

// A key of the test's own below HKLM\SOFTWARE (32-bit view), removed afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = u"SOFTWARE\\PeltoTest\\" + Text(u"키") +
                from_utf8(std::to_string(GetCurrentProcessId()) + "-" +
                          std::to_string(GetTickCount64()));
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(path_).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(created);
    }
    void TearDown() override {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide(path_).c_str(), KEY_WOW64_32KEY, 0);
    }

    // The value as RegQueryValueExW gives it: type and raw bytes (UTF-16 for text).
    bool query(TextView name, DWORD& type, std::string& data, REGSAM view = KEY_WOW64_32KEY) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path_).c_str(), 0, KEY_QUERY_VALUE | view,
                          &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD size = 0;
        const std::wstring value_name = wide(name);
        LONG rc = RegQueryValueExW(key, value_name.c_str(), nullptr, &type, nullptr, &size);
        data.assign(size, '\0');
        if (rc == ERROR_SUCCESS) {
            rc = RegQueryValueExW(key, value_name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        }
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }

    static std::span<const uint8_t> bytes(const std::string& s) {
        return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
    }

    Text path_;
    win32_test::MemoryLog log_;
    Win32Registry registry_{log_};
};

// Both builds write where a 32-bit program's keys are: on 64-bit Windows (and in the 32-bit
// program's WOW64) that is below Wow6432Node as a 64-bit reader sees it.
TEST_F(RegistryTest, BothBuildsWriteTheThirtyTwoBitView) {
    BOOL wow64 = FALSE;
    if (sizeof(void*) == 4 && (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)) {
        GTEST_SKIP() << "a 32-bit Windows has one registry view";
    }
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
    const Text redirected = u"SOFTWARE\\Wow6432Node\\" + path_.substr(Text(u"SOFTWARE\\").size());
    HKEY seen = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(redirected).c_str(), 0,
                            KEY_QUERY_VALUE | KEY_WOW64_64KEY, &seen),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(seen, L"view", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(seen);
}

} // namespace
} // namespace pelto::platform::win32
