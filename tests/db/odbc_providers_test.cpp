// The portable provider layer: which ODBC target each connection string reaches, and the
// refusals that come before any driver is loaded.
#include "tests/db/db_test_support.h"

#include <fstream>
#include <gtest/gtest.h>

namespace pelto::dbtest {
namespace {

using platform::OdbcTarget;

class OdbcProvidersTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(machine.root() / "central" / "holmaview.sqlite").close();
        machine.write_servers_ini("; test servers\n"
                                  "[127.0.0.12,4181]\n"
                                  "engine   = sqlite\n"
                                  "database = central/holmaview.sqlite   ; below the machine root\n"
                                  "catalogs = Holmaview, HolmaViewBK\n"
                                  "login    = sa:$63TirMox47@$\n"
                                  "login    = \"semi:colon; here\"\n"
                                  "\n"
                                  "[10.20.30.40]\n"
                                  "engine   = postgresql\n"
                                  "socket   = /run/pg\n"
                                  "port     = 6543\n"
                                  "database = clinic\n"
                                  "user     = pelto\n"
                                  "password = secret\n"
                                  "schema   = dbo\n"
                                  "catalogs = Clinic\n"
                                  "login    = user1:pw1\n");
    }

    std::variant<OdbcTarget, Error> translate(const Text& server, const Text& user,
                                              const Text& password, const Text& catalog) {
        return machine.odbc().translate(u"Provider       ='SQLOLEDB';  Data Source    ='" + server +
                                        u"';   Initial Catalog='" + catalog +
                                        u"'; User Id        ='" + user +
                                        u"';     Password       ='" + password + u"'     ");
    }

    static const OdbcTarget& target(const std::variant<OdbcTarget, Error>& result) {
        if (const auto* e = std::get_if<Error>(&result)) {
            ADD_FAILURE() << to_utf8(e->description);
            static const OdbcTarget none;
            return none;
        }
        return std::get<OdbcTarget>(result);
    }
    static Error error(const std::variant<OdbcTarget, Error>& result) {
        if (const auto* e = std::get_if<Error>(&result)) {
            return *e;
        }
        ADD_FAILURE() << "translated to "
                      << to_utf8(std::get<OdbcTarget>(result).connection_string);
        return Error{};
    }

    TestMachine machine;
};

TEST_F(OdbcProvidersTest, AliasOrAddressListedInServersIniReachesTheLocalDatabase) {
    const Text sqlite = u"DRIVER={SQLite3};Database=" +
                        from_utf8((machine.root() / "central" / "holmaview.sqlite").string()) +
                        u";";
    machine.set_alias(u"PELTOCENTRAL", u"DBMSSOCN,127.0.0.12,4181");
    EXPECT_EQ(
        target(translate(u"PELTOCENTRAL", u"sa", u"$63TirMox47@$", u"Holmaview")).connection_string,
        sqlite);
    // The address itself, the catalog in other case, no catalog at all, the other login.
    EXPECT_EQ(target(translate(u"127.0.0.12,4181", u"SA", u"$63TirMox47@$", u"holmaviewbk"))
                  .connection_string,
              sqlite);
    EXPECT_EQ(target(translate(u"127.0.0.12,4181", u"sa", u"$63TirMox47@$", u"")).connection_string,
              sqlite);
    EXPECT_EQ(target(translate(u"127.0.0.12,4181", u"semi", u"colon; here", u"")).connection_string,
              sqlite);

    // An alias without a port means 1433; [host] without a port is that address.
    machine.set_alias(u"CLINIC", u"DBMSSOCN,10.20.30.40");
    const OdbcTarget pg = target(translate(u"CLINIC", u"user1", u"pw1", u"Clinic"));
    EXPECT_EQ(pg.connection_string, u"DRIVER={PostgreSQL Unicode};Servername=/run/pg;Port=6543;"
                                    u"Database=clinic;UID=pelto;PWD=secret;BoolsAsChar=0;");
    EXPECT_EQ(pg.after_connect_sql, u"SET search_path TO \"dbo\"");
}

TEST_F(OdbcProvidersTest, RefusedLoginsAndCatalogsFailAsSqlServersLoginFailure) {
    Error e = error(translate(u"127.0.0.12,4181", u"sa", u"wrong", u"Holmaview"));
    EXPECT_EQ(e.number, adoerr::kLoginFailed);
    EXPECT_EQ(e.description, u"Login failed for user 'sa'.");
    EXPECT_EQ(e.source, u"Microsoft OLE DB Provider for SQL Server");
    // The password is compared exactly.
    e = error(translate(u"127.0.0.12,4181", u"sa", u"$63tirmox47@$", u"Holmaview"));
    EXPECT_EQ(e.number, adoerr::kLoginFailed);
    e = error(translate(u"127.0.0.12,4181", u"nobody", u"", u""));
    EXPECT_EQ(e.description, u"Login failed for user 'nobody'.");
    // A catalog the login may not open: E_FAIL, as on Windows.
    e = error(translate(u"127.0.0.12,4181", u"sa", u"$63TirMox47@$", u"Other"));
    EXPECT_EQ(e.number, adoerr::kFail);
    EXPECT_EQ(e.description,
              u"Cannot open database \"Other\" requested by the login. The login failed.");
}

TEST_F(OdbcProvidersTest, UnlistedServersGoToFreeTdsOnlyOnLoopback) {
    machine.set_alias(u"LOCALSQL", u"DBMSSOCN,127.0.0.1,1499");
    EXPECT_EQ(target(translate(u"LOCALSQL", u"sa", u"p;w", u"Main")).connection_string,
              u"DRIVER={FreeTDS};Server=127.0.0.1;Port=1499;UID=sa;PWD={p;w};Database=Main;"
              u"TDS_Version=7.4;ClientCharset=UTF-8;");
    EXPECT_EQ(target(translate(u"localhost", u"sa", u"", u"")).connection_string,
              u"DRIVER={FreeTDS};Server=localhost;Port=1433;UID=sa;PWD=;Database=;"
              u"TDS_Version=7.4;ClientCharset=UTF-8;");
    // A named instance is found through the browser service; its name cannot add attributes.
    EXPECT_EQ(target(translate(u"127.0.0.1\\SQLEXPRESS", u"sa", u"x", u"")).connection_string,
              u"DRIVER={FreeTDS};Server=127.0.0.1\\SQLEXPRESS;UID=sa;PWD=x;Database=;"
              u"TDS_Version=7.4;ClientCharset=UTF-8;");
    EXPECT_EQ(target(translate(u"127.0.0.1\\i;DRIVER={x}", u"sa", u"x", u"")).connection_string,
              u"DRIVER={FreeTDS};Server={127.0.0.1\\i;DRIVER={x}}};UID=sa;PWD=x;Database=;"
              u"TDS_Version=7.4;ClientCharset=UTF-8;");

    // Nothing else is ever dialled: not an address, not a name.
    for (const Text server : {u"192.168.0.10", u"10.20.30.41,1433", u"sqlserver.clinic.example",
                              u"128.0.0.1", u"127.0.0.256"}) {
        const Error e = error(translate(server, u"sa", u"x", u""));
        EXPECT_EQ(e.number, adoerr::kFail) << to_utf8(server);
        EXPECT_TRUE(contains(e.description, u"network/servers.ini")) << to_utf8(e.description);
    }
}

TEST_F(OdbcProvidersTest, NamedPipeAliasesCannotBeReachedHere) {
    machine.set_alias(u"CLINICSRV", u"DBNMPNTW,\\\\CLINICSRV\\pipe\\sql\\query");
    const Error e = error(translate(u"CLINICSRV", u"sa", u"x", u"Main"));
    EXPECT_EQ(e.number, adoerr::kFail);
    EXPECT_TRUE(contains(e.description, u"named pipes")) << to_utf8(e.description);
}

TEST_F(OdbcProvidersTest, ServersIniMistakesAreReportedWithTheirLine) {
    machine.write_servers_ini("[127.0.0.12,4181]\nengine = sqlite\nthis line is no setting\n");
    Error e = error(translate(u"127.0.0.12,4181", u"sa", u"x", u""));
    EXPECT_TRUE(contains(e.description, u"line 3")) << to_utf8(e.description);

    machine.write_servers_ini(
        "[127.0.0.12,4181]\nengine=sqlite\ndatabase=central/missing.sqlite\nlogin=sa:x\n");
    e = error(translate(u"127.0.0.12,4181", u"sa", u"x", u""));
    EXPECT_TRUE(contains(e.description, u"does not exist")) << to_utf8(e.description);

    machine.write_servers_ini("[127.0.0.12,4181]\nengine=oracle\nlogin=sa:x\n");
    e = error(translate(u"127.0.0.12,4181", u"sa", u"x", u""));
    EXPECT_TRUE(contains(e.description, u"unknown engine")) << to_utf8(e.description);
}

TEST_F(OdbcProvidersTest, JetFilesGoToMdbToolsByTheirPlaceOnTheMachine) {
    std::filesystem::create_directories(machine.root() / "drive_c" / "LocalData");
    std::ofstream(machine.root() / "drive_c" / "LocalData" / "HolmaView.mdb").close();
    const auto found = machine.odbc().translate(
        u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=C:\\LocalData\\HolmaView.mdb;");
    EXPECT_EQ(target(found).connection_string,
              u"DRIVER={MDBTools};DBQ=" +
                  from_utf8((machine.root() / "drive_c" / "LocalData" / "HolmaView.mdb").string()) +
                  u";");
    const Error e = error(machine.odbc().translate(
        u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=C:\\LocalData\\Missing.mdb;"));
    EXPECT_EQ(e.number, adoerr::kFail);
    EXPECT_EQ(e.description, u"Could not find file 'C:\\LocalData\\Missing.mdb'.");
    EXPECT_EQ(e.source, u"Microsoft JET Database Engine");
    // MDBTools reads no braces: a path with ";" is refused rather than cut short.
    std::filesystem::create_directories(machine.root() / "drive_c" / "a;DBQ=b");
    std::ofstream(machine.root() / "drive_c" / "a;DBQ=b" / "x.mdb").close();
    const Error semi = error(machine.odbc().translate(
        u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source='C:\\a;DBQ=b\\x.mdb';"));
    EXPECT_EQ(semi.source, u"Microsoft JET Database Engine");
    EXPECT_TRUE(contains(semi.description, u"not a valid path")) << to_utf8(semi.description);
}

TEST_F(OdbcProvidersTest, DataSourceNamesAndOracle) {
    EXPECT_EQ(target(machine.odbc().translate(u"Data Source=PeltoDSN;")).connection_string,
              u"DSN=PeltoDSN;");
    EXPECT_EQ(error(machine.odbc().translate(u"")).number, adoerr::kFail);

    const Text oracle = u"Provider=Microsoft OLE DB Provider for Oracle;Data Source    ='ORCL';   "
                        u"Persist Security Info=False;         User Id        ='scott';       "
                        u"Password       ='tiger'       ";
    platform::portable::PortableOdbcProviders without(machine.machine(), {}, [] {
        return std::vector<Text>{u"SQLite3", u"FreeTDS"};
    });
    const Error e = error(without.translate(oracle));
    EXPECT_EQ(e.number, adoerr::kFail);
    EXPECT_EQ(e.source, u"Microsoft OLE DB Provider for Oracle");
    platform::portable::PortableOdbcProviders with(machine.machine(), {}, [] {
        return std::vector<Text>{u"SQLite3", u"Oracle 21 ODBC driver"};
    });
    EXPECT_EQ(target(with.translate(oracle)).connection_string,
              u"DRIVER={Oracle 21 ODBC driver};DBQ=ORCL;UID=scott;PWD=tiger;");
    // The installed drivers as unixODBC lists them.
    const auto installed = platform::portable::odbcinst_drivers();
    EXPECT_NE(std::find(installed.begin(), installed.end(), Text(u"SQLite3")), installed.end());
}

} // namespace
} // namespace pelto::dbtest
