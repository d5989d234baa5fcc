// mdl레지스트리 over the real registry: what the program writes is what the registry holds.
#include "registry/mdl_registry.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class RegistryModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        key_ = u"SOFTWARE\\PeltoTest\\module" + from_utf8(std::to_string(GetCurrentProcessId()) +
                                                          "-" + std::to_string(GetTickCount64()));
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, to_cp949(key_).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(created);
    }
    void TearDown() override {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, to_cp949(key_).c_str(), KEY_WOW64_32KEY, 0);
    }

    std::optional<std::pair<DWORD, std::string>> value(TextView name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, to_cp949(key_).c_str(), 0,
                          KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        const std::string value_name = to_cp949(name);
        DWORD type = 0;
        DWORD size = 0;
        std::optional<std::pair<DWORD, std::string>> out;
        if (RegQueryValueExA(key, value_name.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS) {
            std::string data(size, '\0');
            RegQueryValueExA(key, value_name.c_str(), nullptr, &type,
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
    EXPECT_EQ(alias->second, to_cp949(u"DBNMPNTW,\\\\병원서버\\pipe\\sql\\query") + '\0');
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
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, to_cp949(missing).c_str(), 0,
                            KEY_READ | KEY_WOW64_32KEY, &probe),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
} // namespace pelto::win32_test
