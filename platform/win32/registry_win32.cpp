#include "platform/win32/registry_win32.h"

#include "platform/win32/handles.h"

#include <limits>

namespace pelto::platform::win32 {

namespace {

class Win32RegistryKey final : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}

    long set_value(TextView value_name, uint32_t type, std::span<const uint8_t> data) override {
        if (data.size() > std::numeric_limits<DWORD>::max()) {
            return ERROR_INVALID_PARAMETER;
        }
        const std::string name = to_cp949(value_name);
        return RegSetValueExA(key_.get(), name.c_str(), 0, type, data.data(),
                              static_cast<DWORD>(data.size()));
    }

private:
    RegistryKeyHandle key_;
};

} // namespace

long Win32Registry::open_local_machine_key(TextView path, uint32_t access,
                                           std::unique_ptr<RegistryKey>& key) {
    key.reset();
    const std::string key_path = to_cp949(path);
    HKEY opened = nullptr;
    const LONG status =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, access | kRegistryView, &opened);
    if (status == ERROR_SUCCESS) {
        key = std::make_unique<Win32RegistryKey>(opened);
    }
    return status;
}

} // namespace pelto::platform::win32
