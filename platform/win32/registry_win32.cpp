// Why the "W" functions: RegOpenKeyExA and RegSetValueExA decode names and text with the
// machine's own ANSI code page, not with code page 949. On a Western Windows (1252), or a
// Korean one with the UTF-8 switch (65001), a Hangul value name would be stored garbled.
// The system stores every name and every REG_SZ as UTF-16 anyway, so a Korean Windows ends
// with the very same data either way.
#include "platform/win32/registry_win32.h"

#include "platform/codepage.h"
#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace pelto::platform::win32 {

namespace {

// The data RegSetValueExW stores for what the registry module hands over (the bytes
// RegSetValueExA takes): text types are code page 949 bytes, NUL included, and become
// UTF-16, two bytes a character; other types are stored as they are.
std::string registry_data_for_w(uint32_t type, std::span<const uint8_t> data) {
    std::string bytes(reinterpret_cast<const char*>(data.data()), data.size());
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return bytes;
    }
    // The terminating NUL converts with the rest: "text" + NUL is 2 bytes a character + 2.
    const Text text = from_cp949(bytes);
    std::string stored(text.size() * sizeof(char16_t), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        stored[2 * i] = static_cast<char>(text[i] & 0xFF);
        stored[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return stored;
}

// How the run log names a key below HKEY_LOCAL_MACHINE.
Text logged_key(TextView path) {
    return u"HKLM\\" + Text(path);
}

class Win32RegistryKey final : public RegistryKey {
public:
    Win32RegistryKey(HKEY key, Text path, RunLog& log)
        : key_(key), path_(std::move(path)), log_(log) {}

    long set_value(TextView value_name, uint32_t type, std::span<const uint8_t> data) override {
        const std::string stored = registry_data_for_w(type, data);
        if (stored.size() > std::numeric_limits<DWORD>::max()) {
            return ERROR_INVALID_PARAMETER;
        }
        const std::wstring name = wide(value_name);
        // The registry functions return their status; they do not set the last error.
        const LONG status = RegSetValueExW(key_.get(), name.c_str(), 0, type,
                                           reinterpret_cast<const BYTE*>(stored.data()),
                                           static_cast<DWORD>(stored.size()));
        if (status != ERROR_SUCCESS) {
            OsFailure failure =
                win32_failure(static_cast<DWORD>(status), "RegSetValueExW", logged_key(path_));
            failure.value_name = Text(value_name);
            log_os_failure(log_, failure);
        }
        return status;
    }

    std::optional<RegistryData> query_value(TextView value_name) override {
        const std::wstring name = wide(value_name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::vector<uint8_t> stored(size);
        if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, stored.data(), &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        stored.resize(size);
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return RegistryData{type, std::move(stored)};
        }
        // Back to what RegQueryValueExA gives on a Korean Windows: code page 949 and a NUL.
        Text text(stored.size() / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(stored[2 * i] | stored[2 * i + 1] << 8);
        }
        while (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        const std::string bytes = to_cp949(text);
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        data.push_back(0);
        return RegistryData{type, std::move(data)};
    }

private:
    RegistryKeyHandle key_;
    Text path_;
    RunLog& log_;
};

} // namespace

long Win32Registry::open_local_machine_key(TextView path, uint32_t access,
                                           std::unique_ptr<RegistryKey>& key) {
    key.reset();
    const std::wstring key_path = wide(path);
    HKEY opened = nullptr;
    const LONG status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, access | kRegistryView, &opened);
    if (status == ERROR_SUCCESS) {
        key = std::make_unique<Win32RegistryKey>(opened, Text(path), log_);
    } else if (status != ERROR_FILE_NOT_FOUND) {
        log_os_failure(
            log_, win32_failure(static_cast<DWORD>(status), "RegOpenKeyExW", logged_key(path)));
    }
    return status;
}

} // namespace pelto::platform::win32
