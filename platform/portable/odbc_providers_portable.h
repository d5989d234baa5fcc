// ADO connection strings to ODBC on Linux: SQLOLEDB through the ConnectTo alias and
// network/servers.ini (a local SQLite or PostgreSQL database) or FreeTDS; Jet through
// MDBTools; a DSN as unixODBC knows it; Oracle only where a driver is installed.
#pragma once

#include "platform/odbc_provider.h"
#include "platform/portable/machine_root.h"

#include <functional>
#include <optional>

namespace pelto::platform::portable {

// Reads the data of a value below HKLM\SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo.
using ConnectToLookup = std::function<std::optional<Text>(TextView alias)>;

class PortableOdbcProviders final : public OdbcProviders {
public:
    PortableOdbcProviders(const MachineRoot& machine, ConnectToLookup connect_to);
    std::variant<OdbcTarget, Error> translate(TextView ado_connection_string) override;

private:
    const MachineRoot& machine_;
    ConnectToLookup connect_to_;
};

} // namespace pelto::platform::portable
