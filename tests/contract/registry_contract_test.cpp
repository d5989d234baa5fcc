// Registry values below HKEY_LOCAL_MACHINE: what the registry module hands over lands as a
// Korean system's "A" functions would leave it, whatever the machine's code page.
#include "platform/codepage.h"
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>

namespace pelto::contract {
namespace {

using platform::RegistryKey;
using Value = ContractMachine::RegistryValue;

std::span<const uint8_t> bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class RegistryContract : public ::testing::Test {
protected:
    platform::Registry& registry() { return m.platform().registry; }
    ContractMachine m;
    const Text key_path = m.registry_key();
};

TEST_F(RegistryContract, KoreanNamesTextAndNumbersLandAsWrittenAndTheLastWriteStays) {
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry().open_local_machine_key(key_path, platform::kKeySetValue, key),
              platform::kRegSuccess);
    ASSERT_NE(key, nullptr);
    std::string alias = to_cp949(u"DBNMPNTW,\\\\병원서버\\pipe\\sql\\query");
    alias.push_back('\0');
    EXPECT_EQ(key->set_value(u"병원서버", platform::kRegSz, bytes(alias)), platform::kRegSuccess);
    const std::string first("\x01\x00\x00\x00", 4);
    const std::string second("\x02\x00\x00\x00", 4);
    EXPECT_EQ(key->set_value(u"ConsentPromptBehaviorAdmin", platform::kRegDword, bytes(first)),
              platform::kRegSuccess);
    EXPECT_EQ(key->set_value(u"ConsentPromptBehaviorAdmin", platform::kRegDword, bytes(second)),
              platform::kRegSuccess);
    key.reset(); // RegCloseKey

    EXPECT_EQ(m.read_registry_value(key_path, u"병원서버"), (Value{platform::kRegSz, alias}));
    EXPECT_EQ(m.read_registry_value(key_path, u"consentpromptbehavioradmin"),
              (Value{platform::kRegDword, second}));
}

TEST_F(RegistryContract, AMissingKeyIsNeitherOpenedNorCreated) {
    const Text missing = key_path + u"\\ConnectTo";
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry().open_local_machine_key(missing, platform::kKeySetValue, key),
              platform::kRegFileNotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(registry().open_local_machine_key(missing, platform::kKeySetValue, key),
              platform::kRegFileNotFound);
}

TEST_F(RegistryContract, AKeyOpenedWithoutSetValueRefusesWrites) {
    std::unique_ptr<RegistryKey> key;
    constexpr uint32_t kKeyRead = 0x20019;
    ASSERT_EQ(registry().open_local_machine_key(key_path, kKeyRead, key), platform::kRegSuccess);
    const std::string data("y\0", 2);
    EXPECT_EQ(key->set_value(u"x", platform::kRegSz, bytes(data)), platform::kRegAccessDenied);
    key.reset();
    EXPECT_EQ(m.read_registry_value(key_path, u"x"), std::nullopt);
}

} // namespace
} // namespace pelto::contract
