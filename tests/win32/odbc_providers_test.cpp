// ADO connection strings as the program builds them, turned into ODBC connection strings
// for the Windows drivers; the test-only server map; the host drivers reached through
// odbc32 where the system offers them (Wine).
#include "platform/win32/odbc/odbc_providers_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

using platform::OdbcTarget;
using platform::win32::OdbcServerMap;
using platform::win32::Win32OdbcProviders;

// The SQL Server string exactly as the database manager builds it, spaces included.
Text sql_server_string(TextView server, TextView catalog, TextView user, TextView password) {
    return u"Provider       ='SQLOLEDB';  Data Source    ='" + Text(server) +
           u"';   Initial Catalog='" + Text(catalog) + u"'; User Id        ='" + Text(user) +
           u"';     Password       ='" + Text(password) + u"'     ";
}

class OdbcProvidersTest : public ::testing::Test {
protected:
    Text connection(Win32OdbcProviders& providers, TextView ado) {
        auto result = providers.translate(ado);
        if (const auto* error = std::get_if<Error>(&result)) {
            ADD_FAILURE() << to_utf8(error->description);
            return {};
        }
        return std::get<OdbcTarget>(result).connection_string;
    }
    Error error(Win32OdbcProviders& providers, TextView ado) {
        auto result = providers.translate(ado);
        if (const auto* e = std::get_if<Error>(&result)) {
            return *e;
        }
        ADD_FAILURE() << "connected: " << to_utf8(std::get<OdbcTarget>(result).connection_string);
        return {};
    }

    TempFolder folder_;
    platform::win32::Win32RunLog log_{folder_ / L"run.log"};
    Win32OdbcProviders providers_{log_, std::nullopt, [] { return std::vector<Text>{}; }};
};

TEST_F(OdbcProvidersTest, SqlOleDbGoesToTheSqlServerDriver) {
    EXPECT_EQ(
        connection(providers_,
                   sql_server_string(u"127.0.0.12", u"Holmaview", u"sa", u"$63TirMox47@$")),
        u"DRIVER={SQL Server};SERVER=127.0.0.12;DATABASE=Holmaview;UID=sa;PWD=$63TirMox47@$;");
    // An empty catalog leaves the login's default database.
    EXPECT_EQ(connection(providers_, sql_server_string(u"병원서버", u"", u"user", u"pw")),
              u"DRIVER={SQL Server};SERVER=병원서버;UID=user;PWD=pw;");
}

TEST_F(OdbcProvidersTest, ValuesThatCouldAddAttributesAreBraced) {
    EXPECT_EQ(connection(providers_, sql_server_string(u"srv", u"db", u"sa", u"a;DRIVER={x}")),
              u"DRIVER={SQL Server};SERVER=srv;DATABASE=db;UID=sa;PWD={a;DRIVER={x}}};");
}

TEST_F(OdbcProvidersTest, JetDsnAndUnknownProviders) {
    EXPECT_EQ(connection(providers_,
                         u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=C:\\a b\\HolmaView.mdb;"),
              u"DRIVER={" + Text(platform::win32::access_driver_name()) +
                  u"};DBQ=C:\\a b\\HolmaView.mdb;");
#if defined(_WIN64)
    EXPECT_EQ(platform::win32::access_driver_name(), u"Microsoft Access Driver (*.mdb, *.accdb)");
#else
    EXPECT_EQ(platform::win32::access_driver_name(), u"Microsoft Access Driver (*.mdb)");
#endif
    EXPECT_EQ(connection(providers_, u"Data Source=HolmaDSN;"), u"DSN=HolmaDSN;");
    EXPECT_EQ(error(providers_, u"").number, adoerr::kFail);
    EXPECT_EQ(error(providers_, u"Provider=NoSuch.Provider;Data Source=x;").number, 3706);
    // An apostrophe the manager put into a value unescaped breaks the string: refused, not
    // read as some other password.
    const Error broken = error(providers_, sql_server_string(u"srv", u"db", u"sa", u"pa'ss"));
    EXPECT_EQ(broken.number, -2147217805);
    EXPECT_EQ(broken.source, u"Microsoft OLE DB Service Components");
}

TEST_F(OdbcProvidersTest, OracleNeedsAnInstalledOracleDriver) {
    const Text ado = u"Provider=Microsoft OLE DB Provider for Oracle;Data Source    ='ORCL';   "
                     u"Persist Security Info=False;         User Id        ='scott';       "
                     u"Password       ='tiger'       ";
    const Error none = error(providers_, ado);
    EXPECT_EQ(none.number, adoerr::kFail);
    EXPECT_NE(to_utf8(none.description).find("Oracle ODBC driver"), std::string::npos);

    Win32OdbcProviders with_oracle(log_, std::nullopt, [] {
        return std::vector<Text>{u"SQL Server", u"Microsoft ODBC for Oracle",
                                 u"Oracle in OraClient19Home1"};
    });
    EXPECT_EQ(connection(with_oracle, ado),
              u"DRIVER={Oracle in OraClient19Home1};DBQ=ORCL;UID=scott;PWD=tiger;");
    Win32OdbcProviders microsoft_only(
        log_, std::nullopt, [] { return std::vector<Text>{u"Microsoft ODBC for Oracle"}; });
    EXPECT_EQ(connection(microsoft_only, ado),
              u"DRIVER={Microsoft ODBC for Oracle};SERVER=ORCL;UID=scott;PWD=tiger;");
}

TEST_F(OdbcProvidersTest, ServerMapServesListedServersAndChecksTheirLogins) {
    const std::wstring map = folder_ / L"servers.ini";
    write_bytes(map, "[127.0.0.12]\r\n"
                     "connection=DRIVER={SQLite3};Database=/srv/central.db;\r\n"
                     "user=sa\r\npassword=$63TirMox47@$\r\ncatalogs=Holmaview, HolmaViewBK\r\n"
                     "[HOSP]\r\n"
                     "connection=DRIVER={PostgreSQL Unicode};Server=127.0.0.1;UID=%USER%;"
                     "PWD=%PASSWORD%;Database=%CATALOG%;\r\n"
                     "after_connect_sql=SET search_path TO clinic\r\n");
    Win32OdbcProviders mapped(log_, OdbcServerMap(map), [] { return std::vector<Text>{}; });

    EXPECT_EQ(
        connection(mapped, sql_server_string(u"127.0.0.12", u"Holmaview", u"SA", u"$63TirMox47@$")),
        u"DRIVER={SQLite3};Database=/srv/central.db;");
    EXPECT_EQ(error(mapped, sql_server_string(u"127.0.0.12", u"Holmaview", u"sa", u"wrong")).number,
              adoerr::kLoginFailed);
    EXPECT_EQ(
        error(mapped, sql_server_string(u"127.0.0.12", u"Other", u"sa", u"$63TirMox47@$")).number,
        adoerr::kFail);

    auto hosp = mapped.translate(sql_server_string(u"hosp", u"clinic", u"doc", u"p;w"));
    ASSERT_TRUE(std::holds_alternative<OdbcTarget>(hosp));
    EXPECT_EQ(std::get<OdbcTarget>(hosp).connection_string,
              u"DRIVER={PostgreSQL Unicode};Server=127.0.0.1;UID=doc;PWD={p;w};Database=clinic;");
    EXPECT_EQ(std::get<OdbcTarget>(hosp).after_connect_sql, u"SET search_path TO clinic");

    // A server the map does not list goes to the real driver.
    EXPECT_EQ(connection(mapped, sql_server_string(u"10.0.0.1", u"db", u"sa", u"x")),
              u"DRIVER={SQL Server};SERVER=10.0.0.1;DATABASE=db;UID=sa;PWD=x;");
    // The log says the map was used, and never shows a password.
    const auto log = read_bytes(folder_ / L"run.log");
    ASSERT_TRUE(log.has_value());
    EXPECT_NE(log->find("test server map"), std::string::npos);
    EXPECT_EQ(log->find("63TirMox"), std::string::npos);
}

} // namespace
} // namespace pelto::win32_test
