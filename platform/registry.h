// Registry values below HKEY_LOCAL_MACHINE, with the data a Korean Windows's "A" functions
// store: key paths and value names are text, a text value's data is its code page 949
// bytes with their NUL, which the platform stores as a Korean Windows does (UTF-16).
#pragma once

#include "core/text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace pelto::platform {

// Win32 status codes the registry services return (ERROR_*).
constexpr long kRegSuccess = 0;
constexpr long kRegFileNotFound = 2;
constexpr long kRegAccessDenied = 5;
constexpr long kRegInvalidParameter = 87;

constexpr uint32_t kKeyQueryValue = 0x0001; // KEY_QUERY_VALUE
constexpr uint32_t kKeySetValue = 0x0002;   // KEY_SET_VALUE

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// A value's type and data as RegQueryValueExA gives them on a Korean Windows: text types
// as code page 949 bytes with their NUL, other data exactly as stored.
struct RegistryData {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    bool operator==(const RegistryData&) const = default;
};

// An open key; closing is the destructor (RegCloseKey).
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // RegQueryValueEx on a key opened with KEY_QUERY_VALUE: nullopt when the value is not
    // there (or the key was not opened to be read).
    virtual std::optional<RegistryData> query_value(TextView value_name) = 0;
    // RegSetValueEx: type 1 data is code page 949 text with its NUL, stored as the
    // registry keeps text; any other data is written exactly as given.
    virtual long set_value(TextView value_name, uint32_t type, std::span<const uint8_t> data) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, access): a missing key is not created.
    // On success `key` holds the open key and the result is kRegSuccess.
    virtual long open_local_machine_key(TextView path, uint32_t access,
                                        std::unique_ptr<RegistryKey>& key) = 0;
};

} // namespace pelto::platform
