// mdl레지스트리 over the real registry: what the program writes is what the registry holds.
#include "platform/win32/wide.h"
#include "registry/mdl_registry.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

using platform::win32::wide;

class RegistryModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        key_ = u"SOFTWARE\\PeltoTest\\module" + from_utf8(std::to_string(GetCurrentProcessId()) +
                                                          "-" + std::to_string(GetTickCount64()));
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(key_).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(created);
    }
    void TearDown() override {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide(key_).c_str(), KEY_WOW64_32KEY, 0);
    }

    std::optional<std::pair<DWORD, std::string>> value(TextView name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(key_).c_str(), 0,
                          KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        const std::wstring value_name = wide(name);
        DWORD type = 0;
        DWORD size = 0;
        std::optional<std::pair<DWORD, std::string>> out;
        if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS) {
            std::string data(size, '\0');
            RegQueryValueExW(key, value_name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size);
            out.emplace(type, data);
        }
        RegCloseKey(key);
        return out;
    }

    Text key_;
    TempFolder folder_;
    TestPlatform platform_{folder_ / L"run.log"};
};

TEST_F(RegistryModuleTest, AliasesAndPolicyValuesLandAsTheirTypes) {
    platform::Platform& p = platform_.get();
    mdl레지스트리::sG_SetRegValue(p, key_, u"병원서버",
                                  Variant(u"DBNMPNTW,\\\\병원서버\\pipe\\sql\\query"), 1);
    mdl레지스트리::sG_SetRegValue(p, key_, u"EnableLUA", Variant(int32_t{2}), 4);
    mdl레지스트리::sG_SetRegValue(p, key_, u"Expand", Variant(u"%TEMP%"), 2);

    const auto alias = value(u"병원서버");
    ASSERT_TRUE(alias.has_value());
    EXPECT_EQ(alias->first, static_cast<DWORD>(REG_SZ));
    // Stored as a Korean Windows stores it: UTF-16 text and its NUL.
    const Text text(u"DBNMPNTW,\\\\병원서버\\pipe\\sql\\query\0", 31);
    EXPECT_EQ(alias->second, std::string(reinterpret_cast<const char*>(text.data()), 31 * 2));
    const auto policy = value(u"EnableLUA");
    ASSERT_TRUE(policy.has_value());
    EXPECT_EQ(policy->first, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(policy->second, std::string("\x02\x00\x00\x00", 4));
    EXPECT_FALSE(value(u"Expand").has_value());
}

TEST_F(RegistryModuleTest, MissingKeyGetsNothingAndNoKey) {
    platform::Platform& p = platform_.get();
    const Text missing = key_ + u"\\ConnectTo";
    mdl레지스트리::sG_SetRegValue(p, missing, u"127.0.0.11", Variant(u"DBMSSOCN,127.0.0.11"), 1);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(missing).c_str(), 0,
                            KEY_READ | KEY_WOW64_32KEY, &probe),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
} // namespace pelto::win32_test
