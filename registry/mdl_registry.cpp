#include "registry/mdl_registry.h"

#include "platform/codepage.h"

#include <memory>
#include <string>
#include <vector>

namespace pelto::mdl레지스트리 {

namespace {

std::string value_label(const Text& key_path, const Text& value_name) {
    return "HKLM\\" + to_utf8(key_path) + " \"" + to_utf8(value_name) + "\"";
}

} // namespace

void sG_SetRegValue(platform::Platform& p, const Text& sKeyPath, const Text& sValueName,
                    const Variant& vValue, int32_t lValueType) {
    set_reg_value(p, sKeyPath, sValueName, vValue, lValueType);
}

long set_reg_value(platform::Platform& p, const Text& sKeyPath, const Text& sValueName,
                   const Variant& vValue, int32_t lValueType) {
    std::unique_ptr<platform::RegistryKey> key;
    const long opened = p.registry.open_local_machine_key(sKeyPath, platform::kKeySetValue, key);
    if (opened != platform::kRegSuccess || !key) {
        p.log.write("registry: open HKLM\\" + to_utf8(sKeyPath) + ": status " +
                    std::to_string(opened) + "; " + value_label(sKeyPath, sValueName) +
                    " not written");
        return opened != platform::kRegSuccess ? opened : platform::kRegFileNotFound;
    }
    // The key closes when `key` goes, also when the value's conversion raises.
    const long written = fG_SetValueEx(p, *key, sValueName, lValueType, vValue);
    if (written != platform::kRegSuccess) {
        p.log.write("registry: set " + value_label(sKeyPath, sValueName) + ": status " +
                    std::to_string(written));
    }
    return written;
}

long fG_SetValueEx(platform::Platform& p, platform::RegistryKey& hKey, const Text& sValueName,
                   int32_t lValueType, const Variant& vValue) {
    if (lValueType == kText) {
        const std::string bytes = to_cp949(vValue.to_text());
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        data.push_back(0);
        return hKey.set_value(sValueName, platform::kRegSz, data);
    }
    if (lValueType == kNumber) {
        const auto v = static_cast<uint32_t>(vValue.to_long());
        const std::vector<uint8_t> data{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                        static_cast<uint8_t>(v >> 16),
                                        static_cast<uint8_t>(v >> 24)};
        return hKey.set_value(sValueName, platform::kRegDword, data);
    }
    p.log.write("registry: value \"" + to_utf8(sValueName) + "\" of type " +
                std::to_string(lValueType) + " not written (only types 1 and 4 are)");
    return 0;
}

} // namespace pelto::mdl레지스트리
