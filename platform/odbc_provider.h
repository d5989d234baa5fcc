// How an ADO connection string reaches ODBC on this platform: which driver serves
// SQLOLEDB, Jet and Oracle, and where a SQL Server name actually lives.
#pragma once

#include "core/error.h"
#include "core/text.h"

#include <variant>

namespace pelto::platform {

// What the ADO layer hands ODBC: a complete ODBC connection string for
// SQLDriverConnectW (for example "DRIVER={SQLite3};Database=...;").
struct OdbcTarget {
    Text connection_string;
    // Extra statements to run right after connecting (a PostgreSQL search_path ...).
    Text after_connect_sql;
};

class OdbcProviders {
public:
    virtual ~OdbcProviders() = default;
    // Translates an ADO connection string (provider name, data source, catalog, login,
    // password as the program builds them). A target that cannot be reached on this
    // platform gives an Error with the number ADO would report (E_FAIL for an
    // unreachable server, the login failure for a refused login).
    virtual std::variant<OdbcTarget, Error> translate(TextView ado_connection_string) = 0;
};

} // namespace pelto::platform
