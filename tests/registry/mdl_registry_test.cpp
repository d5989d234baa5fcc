#include "core/error.h"
#include "registry/mdl_registry.h"
#include "tests/support/temp_machine.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

using testing::TempMachine;

constexpr TextView kConnectTo = u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";
constexpr TextView kPolicies = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

class RegistryModuleTest : public ::testing::Test {
protected:
    TempMachine t;
    platform::portable::PortableRegistry& store() { return t.machine().registry(); }
    void SetUp() override {
        ASSERT_EQ(store().create_key(kConnectTo), 0);
        ASSERT_EQ(store().create_key(kPolicies), 0);
    }
    void set(TextView key, TextView name, const Variant& value, int32_t type) {
        mdl레지스트리::sG_SetRegValue(t.platform(), Text(key), Text(name), value, type);
    }
};

TEST_F(RegistryModuleTest, FailuresLeaveTheStoreAsItIs) {
    const std::string before = testing::read_host_file(store().store_file());
    set(u"SOFTWARE\\Missing\\Key", u"x", u"y", 1);
    set(kConnectTo, u"expand", u"%PATH%", 2);
    EXPECT_EQ(testing::read_host_file(store().store_file()), before);
    // A store that cannot be parsed stays as it is.
    const std::string corrupt = before + "garbage\r\n";
    testing::write_host_file(store().store_file(), corrupt);
    set(kConnectTo, u"127.0.0.11", u"DBMSSOCN,127.0.0.11", 1);
    EXPECT_EQ(testing::read_host_file(store().store_file()), corrupt);
    EXPECT_TRUE(t.log().contains("status 1009"));
}

// A registry that records how keys are opened and closed.
class RecordingRegistry final : public platform::Registry {
public:
    struct Log {
        std::vector<uint32_t> access;
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> writes;
        int open_keys = 0;
    };
    class Key final : public platform::RegistryKey {
    public:
        explicit Key(Log& log) : log_(log) { ++log_.open_keys; }
        ~Key() override { --log_.open_keys; }
        long set_value(TextView, uint32_t type, std::span<const uint8_t> data) override {
            log_.writes.emplace_back(type, std::vector<uint8_t>(data.begin(), data.end()));
            return 0;
        }
        std::optional<platform::RegistryData> query_value(TextView) override {
            return std::nullopt;
        }

    private:
        Log& log_;
    };
    long open_local_machine_key(TextView, uint32_t access,
                                std::unique_ptr<platform::RegistryKey>& key) override {
        log.access.push_back(access);
        key = std::make_unique<Key>(log);
        return 0;
    }
    Log log;
};

TEST_F(RegistryModuleTest, KeysOpenForSetValueOnlyAndCloseOnAConversionError) {
    RecordingRegistry registry;
    platform::Platform p = platform::with_services(t.platform(), {.registry = &registry});
    mdl레지스트리::sG_SetRegValue(p, Text(kPolicies), u"EnableLUA", Variant(int32_t{0}), 4);
    try {
        mdl레지스트리::sG_SetRegValue(p, Text(kPolicies), u"EnableLUA", Variant(u"abc"), 4);
        ADD_FAILURE() << "no conversion error";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), vberr::kTypeMismatch);
    }
    EXPECT_EQ(registry.log.access,
              (std::vector<uint32_t>{platform::kKeySetValue, platform::kKeySetValue}));
    EXPECT_EQ(registry.log.writes.size(), 1U);
    EXPECT_EQ(registry.log.open_keys, 0);

    RecordingRegistry::Key key(registry.log);
    EXPECT_EQ(mdl레지스트리::fG_SetValueEx(p, key, u"x", 2, Variant(u"y")), 0);
    EXPECT_EQ(mdl레지스트리::fG_SetValueEx(p, key, u"x", 7, Variant(u"y")), 0);
    EXPECT_EQ(registry.log.writes.size(), 1U);
}

} // namespace
} // namespace pelto
