// ADO connection strings to ODBC on Windows: SQLOLEDB through the "SQL Server" driver
// (which reads the ConnectTo aliases itself), Jet through the Access driver, a data source
// name as it is, Oracle through an installed Oracle ODBC driver.
#pragma once

#include "platform/odbc_provider.h"
#include "platform/run_log.h"
#include "platform/win32/odbc/odbc_server_map.h"

#include <functional>
#include <optional>
#include <vector>

namespace pelto::platform::win32 {

// The ODBC drivers installed on this machine (SQLDriversW), in the order ODBC lists them.
std::vector<Text> installed_odbc_drivers();

class Win32OdbcProviders final : public OdbcProviders {
public:
    using DriverList = std::function<std::vector<Text>()>;

    // `server_map` is the test-only override (see odbc_server_map.h); `drivers` lists the
    // installed drivers (replaceable for tests).
    Win32OdbcProviders(RunLog& log, std::optional<OdbcServerMap> server_map,
                       DriverList drivers = installed_odbc_drivers);

    std::variant<OdbcTarget, Error> translate(TextView ado_connection_string) override;

private:
    RunLog& log_;
    std::optional<OdbcServerMap> server_map_;
    DriverList drivers_;
};

// The Access driver of this build: the 32-bit program has the Jet-era driver, a 64-bit
// program only the one that also reads .accdb files.
TextView access_driver_name();

} // namespace pelto::platform::win32
