#include "platform/win32/odbc/odbc_server_map.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

// GetPrivateProfileStringW has no "missing" answer of its own; this default marks one.
constexpr const wchar_t* kMissing = L"\x01missing\x01";

std::optional<Text> read_key(const std::wstring& file, const std::wstring& section,
                             const wchar_t* key) {
    std::wstring buffer(512, L'\0');
    for (;;) {
        const DWORD length =
            GetPrivateProfileStringW(section.c_str(), key, kMissing, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), file.c_str());
        if (length + 2 < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (buffer == kMissing) {
        return std::nullopt;
    }
    return from_wide(buffer);
}

} // namespace

std::optional<MappedServer> OdbcServerMap::find(TextView server) const {
    if (server.empty()) {
        return std::nullopt;
    }
    const std::wstring section = wide(server);
    std::optional<Text> connection = read_key(file_, section, L"connection");
    if (!connection) {
        return std::nullopt;
    }
    MappedServer mapped;
    mapped.connection = std::move(*connection);
    mapped.user = read_key(file_, section, L"user");
    mapped.password = read_key(file_, section, L"password");
    mapped.catalogs = read_key(file_, section, L"catalogs");
    mapped.after_connect_sql = read_key(file_, section, L"after_connect_sql").value_or(Text());
    return mapped;
}

} // namespace pelto::platform::win32
