#include "platform/win32/odbc/odbc_providers_win32.h"

#include "platform/ado_connection_string.h"
#include "platform/odbc_value.h"

namespace pelto::platform::win32 {

namespace {

constexpr int32_t kProviderNotFound = 3706; // adErrProviderNotFound

constexpr TextView kSqlServerSource = u"Microsoft OLE DB Provider for SQL Server";
constexpr TextView kOracleSource = u"Microsoft OLE DB Provider for Oracle";
constexpr TextView kOdbcSource = u"Microsoft OLE DB Provider for ODBC Drivers";

bool starts_with_ignore_case(TextView text, TextView prefix) {
    return text.size() >= prefix.size() &&
           equals_ignore_case(text.substr(0, prefix.size()), prefix);
}

bool contains_ignore_case(TextView text, TextView part) {
    return contains(to_upper(text), to_upper(part));
}

Text attribute(TextView name, TextView value) {
    return Text(name) + u"=" + odbc_value(value) + u";";
}

struct Login {
    Text server;
    Text catalog;
    Text user;
    Text password;
};

Login login_of(const AdoConnectionString& ado) {
    Login login;
    login.server =
        ado.find_any({u"Data Source", u"Server", u"Address", u"Addr", u"Network Address"})
            .value_or(Text());
    login.catalog = ado.find_any({u"Initial Catalog", u"Database"}).value_or(Text());
    login.user = ado.find_any({u"User Id", u"UID", u"User"}).value_or(Text());
    login.password = ado.find_any({u"Password", u"PWD"}).value_or(Text());
    return login;
}

bool listed(TextView list, TextView item) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(u',', start);
        if (end == TextView::npos) {
            end = list.size();
        }
        if (equals_ignore_case(trim(list.substr(start, end - start)), item)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::variant<OdbcTarget, Error> mapped_target(const MappedServer& mapped, const Login& login) {
    if ((mapped.user && !equals_ignore_case(*mapped.user, login.user)) ||
        (mapped.password && *mapped.password != login.password)) {
        return Error{adoerr::kLoginFailed, Text(kSqlServerSource),
                     u"Login failed for user '" + login.user + u"'."};
    }
    if (mapped.catalogs && !login.catalog.empty() && !listed(*mapped.catalogs, login.catalog)) {
        return Error{adoerr::kFail, Text(kSqlServerSource),
                     u"Cannot open database \"" + login.catalog +
                         u"\" requested by the login. The login failed."};
    }
    Text connection = mapped.connection;
    connection = replace_all(connection, u"%USER%", odbc_value(login.user));
    connection = replace_all(connection, u"%PASSWORD%", odbc_value(login.password));
    connection = replace_all(connection, u"%CATALOG%", odbc_value(login.catalog));
    return OdbcTarget{std::move(connection), mapped.after_connect_sql};
}

Text sql_server_connection(const Login& login) {
    Text connection = u"DRIVER={SQL Server};";
    connection += attribute(u"SERVER", login.server);
    // No catalog: the login's default database, as SQLOLEDB does with an empty one.
    if (!login.catalog.empty()) {
        connection += attribute(u"DATABASE", login.catalog);
    }
    connection += attribute(u"UID", login.user);
    connection += attribute(u"PWD", login.password);
    return connection;
}

std::optional<Text> oracle_driver(const std::vector<Text>& drivers) {
    // Oracle's own client driver first ("Oracle in OraClient19Home1"), then Microsoft's,
    // then anything else that names Oracle.
    for (const Text& name : drivers) {
        if (starts_with_ignore_case(name, u"Oracle in ")) {
            return name;
        }
    }
    for (const Text& name : drivers) {
        if (equals_ignore_case(name, u"Microsoft ODBC for Oracle")) {
            return name;
        }
    }
    for (const Text& name : drivers) {
        if (contains_ignore_case(name, u"Oracle")) {
            return name;
        }
    }
    return std::nullopt;
}

Text with_login(Text connection, const Login& login) {
    if (!login.user.empty()) {
        connection += attribute(u"UID", login.user);
    }
    if (!login.password.empty()) {
        connection += attribute(u"PWD", login.password);
    }
    return connection;
}

} // namespace

TextView access_driver_name() {
#if defined(_WIN64)
    return u"Microsoft Access Driver (*.mdb, *.accdb)";
#else
    return u"Microsoft Access Driver (*.mdb)";
#endif
}

Win32OdbcProviders::Win32OdbcProviders(RunLog& log, std::optional<OdbcServerMap> server_map,
                                       DriverList drivers)
    : log_(log), server_map_(std::move(server_map)), drivers_(std::move(drivers)) {}

std::variant<OdbcTarget, Error> Win32OdbcProviders::translate(TextView ado_connection_string) {
    const std::optional<AdoConnectionString> ado =
        parse_ado_connection_string(ado_connection_string);
    if (!ado) {
        return malformed_ado_connection_string();
    }
    const Login login = login_of(*ado);

    switch (provider_of(*ado)) {
    case AdoProvider::SqlServer:
        if (server_map_) {
            if (const std::optional<MappedServer> mapped = server_map_->find(login.server)) {
                log_.write("ODBC: server '" + to_utf8(login.server) +
                           "' served through the test server map");
                return mapped_target(*mapped, login);
            }
        }
        return OdbcTarget{sql_server_connection(login), {}};

    case AdoProvider::Jet: {
        Text connection = u"DRIVER={" + Text(access_driver_name()) + u"};";
        connection += attribute(u"DBQ", login.server);
        return OdbcTarget{with_login(std::move(connection), login), {}};
    }

    case AdoProvider::Oracle: {
        const std::optional<Text> driver = oracle_driver(drivers_());
        if (!driver) {
            return Error{adoerr::kFail, Text(kOracleSource),
                         u"No Oracle ODBC driver is installed on this computer; install the "
                         u"Oracle client with its ODBC driver to reach an Oracle server."};
        }
        Text connection = u"DRIVER={" + *driver + u"};";
        const bool microsoft = equals_ignore_case(*driver, u"Microsoft ODBC for Oracle");
        connection += attribute(microsoft ? u"SERVER" : u"DBQ", login.server);
        return OdbcTarget{with_login(std::move(connection), login), {}};
    }

    case AdoProvider::Odbc: {
        const Text dsn = ado->find_any({u"DSN", u"Data Source"}).value_or(Text());
        if (dsn.empty()) {
            return Error{adoerr::kFail, Text(kOdbcSource),
                         u"[Microsoft][ODBC Driver Manager] Data source name not found and no "
                         u"default driver specified"};
        }
        return OdbcTarget{with_login(attribute(u"DSN", dsn), login), {}};
    }

    case AdoProvider::Unknown:
        break;
    }
    return Error{kProviderNotFound, u"ADODB.Connection",
                 u"Provider cannot be found. It may not be properly installed."};
}

} // namespace pelto::platform::win32
