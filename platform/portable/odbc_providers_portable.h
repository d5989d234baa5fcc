// ADO connection strings to ODBC on Linux: SQLOLEDB through the ConnectTo alias and
// network/servers.ini (a local SQLite or PostgreSQL database) or FreeTDS; Jet through
// MDBTools; a DSN as unixODBC knows it; Oracle only where a driver is installed.
// Nothing here ever points a driver at a network address other than a loopback one or
// one that network/servers.ini maps.
#pragma once

#include "platform/odbc_provider.h"
#include "platform/portable/machine_root.h"

#include <functional>
#include <optional>
#include <vector>

namespace pelto::platform::portable {

// Reads the data of a value below HKLM\SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo.
using ConnectToLookup = std::function<std::optional<Text>(TextView alias)>;
// The names of the installed ODBC drivers (what SQLDrivers lists).
using DriverLister = std::function<std::vector<Text>()>;

class PortableOdbcProviders final : public OdbcProviders {
public:
    // Without `drivers`, the driver names are read from unixODBC's odbcinst.ini
    // ($ODBCSYSINI/$ODBCINSTINI, else /etc/odbcinst.ini).
    PortableOdbcProviders(const MachineRoot& machine, ConnectToLookup connect_to,
                          DriverLister drivers = {});
    std::variant<OdbcTarget, Error> translate(TextView ado_connection_string) override;

private:
    const MachineRoot& machine_;
    ConnectToLookup connect_to_;
    DriverLister drivers_;
};

// The drivers that unixODBC's odbcinst.ini names (its section names).
std::vector<Text> odbcinst_drivers();

} // namespace pelto::platform::portable
