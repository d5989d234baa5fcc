// The test server map the environment names. Compiled into the test builds only
// (PELTO_WIN32_ODBC_SERVER_MAP): the program users receive never reads the variable.
#include "platform/win32/odbc/odbc_server_map.h"

#include <windows.h>

namespace pelto::platform::win32 {

std::optional<OdbcServerMap> OdbcServerMap::from_environment() {
    std::wstring value(MAX_PATH, L'\0');
    DWORD length = GetEnvironmentVariableW(kEnvironmentVariable, value.data(),
                                           static_cast<DWORD>(value.size()));
    if (length >= value.size()) {
        value.resize(length);
        length = GetEnvironmentVariableW(kEnvironmentVariable, value.data(),
                                         static_cast<DWORD>(value.size()));
    }
    if (length == 0 || length >= value.size()) {
        return std::nullopt;
    }
    value.resize(length);
    return OdbcServerMap(value);
}

} // namespace pelto::platform::win32
