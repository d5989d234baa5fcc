#include "platform/portable/odbc_providers_portable.h"

#include "platform/ado_connection_string.h"
#include "platform/odbc_value.h"
#include "platform/portable/servers_file.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pelto::platform::portable {

namespace {

constexpr const char16_t* kSqlServerSource = u"Microsoft OLE DB Provider for SQL Server";
constexpr const char16_t* kJetSource = u"Microsoft JET Database Engine";
constexpr const char16_t* kOdbcSource = u"Microsoft OLE DB Provider for ODBC Drivers";
constexpr const char16_t* kOracleSource = u"Microsoft OLE DB Provider for Oracle";
constexpr int32_t kDefaultPostgresPort = 5432;

Error fail(const char16_t* source, const Text& description) {
    return Error{adoerr::kFail, source, description};
}

Text first_of(const AdoConnectionString& parsed, std::initializer_list<TextView> keys) {
    return trim(parsed.find_any(keys).value_or(Text()));
}

// The SQLite and PostgreSQL drivers read no braces: such a value cannot be passed.
bool unquotable(const Text& value) {
    return value.find_first_of(u";{}") != Text::npos;
}

// A host this machine itself answers for; nothing else is dialled unless servers.ini
// maps it. Names are not resolved (a lookup would itself go to the network).
bool is_loopback(const Text& host) {
    const Text h = to_upper(trim(host));
    if (h == u"LOCALHOST" || h == u"::1" || h == u"(LOCAL)" || h == u".") {
        return true;
    }
    const auto octets = split(h, u'.');
    if (octets.size() != 4) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        const std::string digits = to_utf8(octets[i]);
        int value = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
            value < 0 || value > 255 || (i == 0 && value != 127)) {
            return false;
        }
    }
    return true;
}

struct ServerAddress {
    Text host;
    int32_t port = kDefaultSqlServerPort;
    Text instance; // "host\instance", reached by FreeTDS through the browser service
};

const ServerEntry* find_server(const ServersFile& file, const ServerAddress& address) {
    for (const auto& entry : file.entries) {
        if (equals_ignore_case(entry.host, address.host) && entry.port == address.port) {
            return &entry;
        }
    }
    return nullptr;
}

// --- the providers ---

Text login_failed(const Text& user) {
    return u"Login failed for user '" + user + u"'.";
}

// SQL Server's own checks, first of all: a refused login or an unknown catalog looks as
// SQL Server's provider reports it on every platform.
std::optional<Error> check_login(const ServerEntry& entry, const Text& catalog, const Text& user,
                                 const Text& password) {
    bool accepted = false;
    for (const auto& [key, value] : entry.values) {
        if (key != u"LOGIN" && key != u"LOGINS") {
            continue;
        }
        const size_t colon = value.find(u':');
        const Text login = trim(value.substr(0, colon));
        const Text secret = colon == Text::npos ? Text() : value.substr(colon + 1);
        if (equals_ignore_case(login, user) && secret == password) {
            accepted = true;
        }
    }
    if (!accepted) {
        return Error{adoerr::kLoginFailed, kSqlServerSource, login_failed(user)};
    }
    if (catalog.empty()) {
        return std::nullopt;
    }
    for (const Text& name : split(entry.get(u"CATALOGS"), u',')) {
        if (!name.empty() && equals_ignore_case(name, catalog)) {
            return std::nullopt;
        }
    }
    return Error{adoerr::kFail, kSqlServerSource,
                 u"Cannot open database \"" + catalog +
                     u"\" requested by the login. The login failed."};
}

Text entry_place(const ServerEntry& entry) {
    return u"network/servers.ini [" + entry.address + u"]";
}

std::variant<OdbcTarget, Error> serve_with_sqlite(const MachineRoot& machine,
                                                  const ServerEntry& entry) {
    const Text where = entry_place(entry);
    const Text database = entry.get(u"DATABASE");
    const std::filesystem::path relative(to_utf8(database));
    if (database.empty() || relative.is_absolute()) {
        return fail(kSqlServerSource, where + u": database= names a file below the machine root");
    }
    const std::filesystem::path file = (machine.root() / relative).lexically_normal();
    std::error_code ec;
    if (unquotable(from_utf8(file.string()))) {
        return fail(kSqlServerSource, where + u": the database path may not hold ';' or braces");
    }
    if (!std::filesystem::is_regular_file(file, ec)) {
        // The SQLite driver would quietly create an empty database instead.
        return fail(kSqlServerSource, where + u": the database file " + from_utf8(file.string()) +
                                          u" does not exist");
    }
    return OdbcTarget{u"DRIVER={SQLite3};Database=" + from_utf8(file.string()) + u";", Text()};
}

std::variant<OdbcTarget, Error> serve_with_postgresql(const ServerEntry& entry) {
    const Text where = entry_place(entry);
    Text server = entry.get(u"SOCKET");
    if (server.empty()) {
        server = entry.get(u"HOST");
    }
    Text port = entry.get(u"PORT");
    if (port.empty()) {
        port = from_utf8(std::to_string(kDefaultPostgresPort));
    }
    const Text database = entry.get(u"DATABASE");
    const Text pg_user = entry.get(u"USER");
    const Text pg_password = entry.get(u"PASSWORD");
    if (server.empty() || database.empty()) {
        return fail(kSqlServerSource,
                    where + u": a PostgreSQL server needs socket= or host=, and database=");
    }
    if (unquotable(server) || unquotable(port) || unquotable(database) || unquotable(pg_user) ||
        unquotable(pg_password)) {
        return fail(kSqlServerSource, where + u": PostgreSQL values may not hold ';' or braces");
    }
    OdbcTarget target;
    target.connection_string = u"DRIVER={PostgreSQL Unicode};Servername=" + server + u";Port=" +
                               port + u";Database=" + database + u";UID=" + pg_user + u";PWD=" +
                               pg_password + u";BoolsAsChar=0;";
    if (const Text schema = entry.get(u"SCHEMA"); !schema.empty()) {
        target.after_connect_sql =
            u"SET search_path TO \"" + replace_all(schema, u"\"", u"\"\"") + u"\"";
    }
    return target;
}

std::variant<OdbcTarget, Error> serve_with_sql_server(const ServerEntry& entry, const Text& catalog,
                                                      const Text& user, const Text& password) {
    const Text host = entry.get(u"HOST");
    const Text port = entry.get(u"PORT");
    if (host.empty()) {
        return fail(kSqlServerSource, entry_place(entry) + u": a SQL Server needs host=");
    }
    return OdbcTarget{u"DRIVER={FreeTDS};Server=" + host + u";Port=" +
                          (port.empty() ? from_utf8(std::to_string(kDefaultSqlServerPort)) : port) +
                          u";UID=" + odbc_value(user) + u";PWD=" + odbc_value(password) +
                          u";Database=" + odbc_value(catalog) +
                          u";TDS_Version=7.4;ClientCharset=UTF-8;",
                      Text()};
}

// An address servers.ini lists: the login is checked as SQL Server checks it, then the
// engine named there serves it.
std::variant<OdbcTarget, Error> serve_locally(const MachineRoot& machine, const ServerEntry& entry,
                                              const Text& catalog, const Text& user,
                                              const Text& password) {
    if (std::optional<Error> refused = check_login(entry, catalog, user, password)) {
        return *refused;
    }
    const Text engine = to_upper(entry.get(u"ENGINE"));
    if (engine == u"SQLITE") {
        return serve_with_sqlite(machine, entry);
    }
    if (engine == u"POSTGRESQL") {
        return serve_with_postgresql(entry);
    }
    if (engine == u"SQLSERVER") {
        return serve_with_sql_server(entry, catalog, user, password);
    }
    return fail(kSqlServerSource, entry_place(entry) + u": unknown engine '" +
                                      entry.get(u"ENGINE") +
                                      u"' (sqlite, postgresql or sqlserver)");
}

// The address behind a SQL Server name: its ConnectTo alias ("DBMSSOCN,host[,port]"),
// else the name itself ("host", "host,port" or "host\instance").
std::variant<ServerAddress, Error> resolve_server(const Text& data_source,
                                                  const ConnectToLookup& connect_to) {
    Text target = data_source;
    if (connect_to) {
        if (const auto alias = connect_to(data_source)) {
            const auto parts = split(*alias, u',');
            const Text library = to_upper(parts[0]);
            if (library != u"DBMSSOCN" || parts.size() < 2) {
                return fail(kSqlServerSource,
                            u"[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or "
                            u"access denied. The client alias '" +
                                data_source + u"' uses '" + *alias +
                                u"'; only TCP/IP aliases (DBMSSOCN) can be reached on "
                                u"this system, named pipes cannot.");
            }
            target = parts[1];
            if (parts.size() > 2) {
                target += u"," + parts[2];
            }
        }
    }
    ServerAddress address;
    const auto parts = split(target, u',');
    address.host = parts[0];
    if (parts.size() > 1) {
        const auto port = parse_port(parts[1]);
        if (!port) {
            return fail(kSqlServerSource,
                        u"[DBNETLIB][ConnectionOpen (Connect()).]Invalid port in '" + target +
                            u"'.");
        }
        address.port = *port;
    }
    if (const size_t slash = address.host.find(u'\\'); slash != Text::npos) {
        address.instance = address.host.substr(slash + 1);
        address.host.resize(slash);
    }
    if (address.host.empty()) {
        return fail(kSqlServerSource, u"[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not "
                                      u"exist or access denied.");
    }
    return address;
}

std::variant<OdbcTarget, Error> sql_server(const MachineRoot& machine,
                                           const AdoConnectionString& parsed,
                                           const ConnectToLookup& connect_to) {
    const Text data_source = first_of(parsed, {u"Data Source", u"Server", u"Address"});
    const Text catalog = first_of(parsed, {u"Initial Catalog", u"Database"});
    const Text user = first_of(parsed, {u"User Id", u"UID", u"User"});
    const Text password = parsed.find_any({u"Password", u"PWD"}).value_or(Text());
    auto resolved = resolve_server(data_source, connect_to);
    if (auto* error = std::get_if<Error>(&resolved)) {
        return *error;
    }
    const auto& address = std::get<ServerAddress>(resolved);
    const ServersFile servers = read_servers_file(machine.servers_file());
    if (servers.problem) {
        return fail(kSqlServerSource, *servers.problem);
    }
    if (const ServerEntry* entry = find_server(servers, address);
        entry && address.instance.empty()) {
        return serve_locally(machine, *entry, catalog, user, password);
    }
    if (!is_loopback(address.host)) {
        return fail(kSqlServerSource,
                    u"[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access "
                    u"denied. '" +
                        address.host +
                        u"' is neither a loopback address nor listed in "
                        u"network/servers.ini, and this machine dials no "
                        u"other address.");
    }
    Text server = address.host;
    Text port_part = u";Port=" + from_utf8(std::to_string(address.port));
    if (!address.instance.empty()) {
        server += u"\\" + address.instance;
        port_part.clear();
    }
    // An instance name comes from the connection string as it stands: braced like the login.
    return OdbcTarget{u"DRIVER={FreeTDS};Server=" + odbc_value(server) + port_part + u";UID=" +
                          odbc_value(user) + u";PWD=" + odbc_value(password) + u";Database=" +
                          odbc_value(catalog) + u";TDS_Version=7.4;ClientCharset=UTF-8;",
                      Text()};
}

std::variant<OdbcTarget, Error> jet(const MachineRoot& machine, const AdoConnectionString& parsed) {
    const Text path = first_of(parsed, {u"Data Source"});
    const auto host = machine.to_host(path);
    if (path.empty() || !host) {
        return fail(kJetSource, u"'" + path +
                                    u"' is not a valid path.  Make sure that the path name "
                                    u"is spelled correctly and that you are connected to "
                                    u"the server on which the file resides.");
    }
    const Text file = from_utf8(host->string());
    if (unquotable(file)) {
        // MDBTools reads no braces: such a path would end the value early.
        return fail(kJetSource, u"'" + path +
                                    u"' is not a valid path: the database path may "
                                    u"not hold ';' or braces on this system.");
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(*host, ec)) {
        return fail(kJetSource, u"Could not find file '" + path + u"'.");
    }
    return OdbcTarget{u"DRIVER={MDBTools};DBQ=" + file + u";", Text()};
}

std::variant<OdbcTarget, Error> data_source_name(const AdoConnectionString& parsed) {
    const Text dsn = first_of(parsed, {u"Data Source", u"DSN"});
    if (dsn.empty()) {
        return fail(kOdbcSource, u"[Microsoft][ODBC Driver Manager] Data source name not found and "
                                 u"no default driver specified");
    }
    Text target = u"DSN=" + odbc_value(dsn) + u";";
    if (const Text user = first_of(parsed, {u"User Id", u"UID"}); !user.empty()) {
        target += u"UID=" + odbc_value(user) + u";";
    }
    if (const auto password = parsed.find(u"Password")) {
        target += u"PWD=" + odbc_value(*password) + u";";
    }
    return OdbcTarget{target, Text()};
}

std::variant<OdbcTarget, Error> oracle(const AdoConnectionString& parsed,
                                       const std::vector<Text>& drivers) {
    for (const Text& driver : drivers) {
        if (contains(to_upper(driver), u"ORACLE")) {
            const auto password = parsed.find(u"Password").value_or(Text());
            return OdbcTarget{u"DRIVER={" + driver + u"};DBQ=" +
                                  odbc_value(first_of(parsed, {u"Data Source"})) + u";UID=" +
                                  odbc_value(first_of(parsed, {u"User Id", u"UID"})) + u";PWD=" +
                                  odbc_value(password) + u";",
                              Text()};
        }
    }
    return fail(kOracleSource, u"No Oracle ODBC driver is installed on this system (unixODBC "
                               u"lists none), so Oracle cannot be reached.");
}

} // namespace

std::vector<Text> odbcinst_drivers() {
    const char* folder = std::getenv("ODBCSYSINI"); // NOLINT(concurrency-mt-unsafe)
    const char* name = std::getenv("ODBCINSTINI");  // NOLINT(concurrency-mt-unsafe)
    const std::filesystem::path path = std::filesystem::path(folder != nullptr ? folder : "/etc") /
                                       (name != nullptr ? name : "odbcinst.ini");
    std::vector<Text> drivers;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const Text text = trim(from_utf8(line));
        if (text.size() > 2 && text.front() == u'[' && text.back() == u']' &&
            !equals_ignore_case(text, u"[ODBC]")) {
            drivers.push_back(text.substr(1, text.size() - 2));
        }
    }
    return drivers;
}

PortableOdbcProviders::PortableOdbcProviders(const MachineRoot& machine, ConnectToLookup connect_to,
                                             DriverLister drivers)
    : machine_(machine), connect_to_(std::move(connect_to)), drivers_(std::move(drivers)) {}

std::variant<OdbcTarget, Error> PortableOdbcProviders::translate(TextView ado_connection_string) {
    const auto parsed = parse_ado_connection_string(ado_connection_string);
    if (!parsed) {
        return malformed_ado_connection_string();
    }
    switch (provider_of(*parsed)) {
    case AdoProvider::SqlServer:
        return sql_server(machine_, *parsed, connect_to_);
    case AdoProvider::Jet:
        return jet(machine_, *parsed);
    case AdoProvider::Odbc:
        return data_source_name(*parsed);
    case AdoProvider::Oracle:
        return oracle(*parsed, drivers_ ? drivers_() : odbcinst_drivers());
    case AdoProvider::Unknown:
        break;
    }
    return Error{adoerr::kProviderNotFound, u"ADODB.Connection",
                 error_description(adoerr::kProviderNotFound)};
}

} // namespace pelto::platform::portable
