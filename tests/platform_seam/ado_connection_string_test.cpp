// ADO connection strings as the database manager builds them, read once for the
// connection and for each platform's provider layer.
#include "platform/ado_connection_string.h"

#include <gtest/gtest.h>

namespace pelto::platform {
namespace {

TEST(AdoConnectionString, ReadsThePaddedKeysAndQuotedValuesTheManagerBuilds) {
    const Text s = u"Provider       ='SQLOLEDB';  Data Source    ='PELTOCENTRAL';   "
                   u"Initial Catalog=''; User Id        ='sa';     "
                   u"Password       ='$63;Tir=Mox'     ";
    const auto parsed = parse_ado_connection_string(s);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->pairs.size(), 5U);
    EXPECT_EQ(parsed->pairs[1].key, u"Data Source");
    EXPECT_EQ(parsed->find(u"provider"), Text(u"SQLOLEDB"));
    EXPECT_EQ(parsed->find(u"DATA SOURCE"), Text(u"PELTOCENTRAL"));
    EXPECT_EQ(parsed->find(u"Initial Catalog"), Text());
    EXPECT_EQ(parsed->find(u"Password"), Text(u"$63;Tir=Mox"));
    EXPECT_FALSE(parsed->find(u"Persist Security Info"));
    // Synonyms: the first name present decides.
    EXPECT_EQ(parsed->find_any({u"Server", u"Data Source"}), Text(u"PELTOCENTRAL"));
    EXPECT_EQ(parsed->find_any({u"UID", u"User Id"}), Text(u"sa"));
    EXPECT_FALSE(parsed->find_any({u"DSN", u"Database"}));
}

TEST(AdoConnectionString, UnquotedValuesDoubledQuotesAndRepeatedKeys) {
    const auto jet = parse_ado_connection_string(
        u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source= C:\\App\\..\\LocalData\\HolmaView.mdb ;");
    ASSERT_TRUE(jet);
    EXPECT_EQ(jet->find(u"Data Source"), Text(u"C:\\App\\..\\LocalData\\HolmaView.mdb"));

    const auto dsn = parse_ado_connection_string(u"Data Source=펠토 DSN");
    ASSERT_TRUE(dsn);
    EXPECT_EQ(dsn->find(u"data source"), Text(u"펠토 DSN"));

    // A doubled quote stands for one; the other quote character is plain text inside.
    const auto quoted = parse_ado_connection_string(
        u"Password       ='it''s;{x}'; User Id=\"say \"\"hi\"\"\"; Data Source='a\"b'");
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->find(u"Password"), Text(u"it's;{x}"));
    EXPECT_EQ(quoted->find(u"User Id"), Text(u"say \"hi\""));
    EXPECT_EQ(quoted->find(u"Data Source"), Text(u"a\"b"));

    // A key given twice keeps its last value, as OLE DB does.
    const auto twice = parse_ado_connection_string(u";;Data Source=a;; data source='b';");
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->find(u"Data Source"), Text(u"b"));
    EXPECT_EQ(twice->find_any({u"Server", u"Data Source"}), Text(u"b"));

    EXPECT_TRUE(parse_ado_connection_string(u""));
    EXPECT_TRUE(parse_ado_connection_string(u" ; ;"));
}

TEST(AdoConnectionString, AnApostropheInsideAValueBreaksTheString) {
    // The manager inserts values unescaped; such a string is refused, not misread.
    EXPECT_FALSE(parse_ado_connection_string(u"User Id='sa'; Password='pa'ss'"));
    EXPECT_FALSE(parse_ado_connection_string(u"Password='never closed"));
    EXPECT_FALSE(parse_ado_connection_string(u"NoEqualsSign; Provider=x"));
    EXPECT_FALSE(parse_ado_connection_string(u"Provider=x; trailing"));
    EXPECT_FALSE(parse_ado_connection_string(u"='no key'"));
    const Error e = malformed_ado_connection_string();
    EXPECT_EQ(e.number, -2147217805);
    EXPECT_EQ(e.source, u"Microsoft OLE DB Service Components");
}

TEST(AdoProvider, NamedByProgrammaticOrFriendlyNameWithItsErrorSource) {
    const auto provider = [](TextView text) {
        const auto parsed = parse_ado_connection_string(text);
        return parsed ? provider_of(*parsed) : AdoProvider::Unknown;
    };
    EXPECT_EQ(provider(u"Provider       ='SQLOLEDB';"), AdoProvider::SqlServer);
    EXPECT_EQ(provider(u"Provider=sqloledb.1"), AdoProvider::SqlServer);
    EXPECT_EQ(provider(u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=x;"), AdoProvider::Jet);
    EXPECT_EQ(provider(u"Provider=Microsoft OLE DB Provider for Oracle;Data Source    ='ORA'"),
              AdoProvider::Oracle);
    EXPECT_EQ(provider(u"Provider=MSDAORA.1"), AdoProvider::Oracle);
    EXPECT_EQ(provider(u"Provider=OraOLEDB.Oracle"), AdoProvider::Oracle);
    // No provider is ADO's default, ODBC data sources.
    EXPECT_EQ(provider(u"Data Source=HolmaDSN;"), AdoProvider::Odbc);
    EXPECT_EQ(provider(u"Provider=' '; DSN=x"), AdoProvider::Odbc);
    EXPECT_EQ(provider(u"Provider=MSDASQL;DSN=x"), AdoProvider::Odbc);
    EXPECT_EQ(provider(u"Provider=Nonsense;"), AdoProvider::Unknown);
    EXPECT_EQ(provider(u"Provider=SQLOLEDBX;"), AdoProvider::Unknown);

    EXPECT_EQ(provider_error_source(AdoProvider::SqlServer),
              u"Microsoft OLE DB Provider for SQL Server");
    EXPECT_EQ(provider_error_source(AdoProvider::Jet), u"Microsoft JET Database Engine");
    EXPECT_EQ(provider_error_source(AdoProvider::Oracle), u"Microsoft OLE DB Provider for Oracle");
    EXPECT_EQ(provider_error_source(AdoProvider::Unknown),
              u"Microsoft OLE DB Provider for ODBC Drivers");
}

} // namespace
} // namespace pelto::platform
