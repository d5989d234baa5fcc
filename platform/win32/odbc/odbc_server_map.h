// Test-only: a map from SQL Server names to other ODBC targets, so that the program can be
// run end to end where no SQL Server and no "SQL Server" driver exist (under Wine, whose
// odbc32 reaches the host's SQLite and PostgreSQL drivers).
//
// Active only when the environment variable PELTO_ODBC_SERVER_MAP names an INI file (a
// Windows path) and only for servers listed in it; the program's normal path never reads
// anything else. One section per server name, as the program names the server (the
// address or the name from the institution row), matched without regard to case:
//
//   [127.0.0.12]
//   connection=DRIVER={SQLite3};Database=/srv/test/central.db;
//   user=sa                 ; optional: the only login accepted
//   password=secret         ; optional: its only password
//   catalogs=Holmaview      ; optional: comma-separated catalogs accepted
//   after_connect_sql=      ; optional: statements to run after connecting
//
// In `connection`, %USER%, %PASSWORD% and %CATALOG% stand for the values of the program's
// connection string (inserted as ODBC values), so a PostgreSQL server can check the login
// itself. A login or catalog refused by the optional keys fails as SQL Server refuses it.
#pragma once

#include "core/text.h"

#include <optional>
#include <string>

namespace pelto::platform::win32 {

struct MappedServer {
    Text connection;
    std::optional<Text> user;
    std::optional<Text> password;
    std::optional<Text> catalogs;
    Text after_connect_sql;
};

class OdbcServerMap {
public:
    static constexpr const wchar_t* kEnvironmentVariable = L"PELTO_ODBC_SERVER_MAP";

    explicit OdbcServerMap(std::wstring file) : file_(std::move(file)) {}
    // The map the environment names, if any (test builds only).
    static std::optional<OdbcServerMap> from_environment();

    const std::wstring& file() const { return file_; }
    std::optional<MappedServer> find(TextView server) const;

private:
    std::wstring file_;
};

} // namespace pelto::platform::win32
