// Each column type on each server, six ways: the value read is the value held; writing it
// back unchanged and updating changes nothing; changing it lands; an edit of another
// column with every column compared finds the row; another user's change of the column is
// found (or, for a type the server cannot compare, is known not to be); a parameter of the
// field's type writes the value and it reads back the same. SQL Server's types come from
// the test double of its driver (odbc_double/), which describes them as SQL Server's
// driver does and compares each parameter in its column's form.
#include "tests/db/db_test_support.h"

#include <gtest/gtest.h>

namespace pelto::dbtest {
namespace {

enum class Server { SQLite, PostgreSQL, SqlServer };

// What an operation is expected to do for a type.
enum class Outcome {
    Done,
    NotCompared,   // another user's change is not found: the server cannot compare the type
    NotApplicable, // the server writes the column itself (a row version)
};

struct TypeCase {
    Server server;
    std::string label;
    Text type;       // as the table declares it
    Text stored;     // the SQL literal the row holds
    Variant read;    // what Value gives for it (Empty: a row version, 8 bytes of the server's)
    Variant changed; // a value it is changed to
    Text other;      // the SQL literal another user writes
    Outcome conflict = Outcome::Done;
};

Variant dec(const char16_t* text) {
    return Decimal::from_text(text);
}
Variant date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return Date::from_parts(y, mo, d, h, mi, s, ms);
}
Variant time_of(int h, int mi, int s, int ms) {
    return Date::from_parts(1899, 12, 30, h, mi, s, ms);
}
Variant bytes(std::initializer_list<uint8_t> b) {
    return ByteArray(b);
}

std::vector<TypeCase> sqlite_cases() {
    const Server s = Server::SQLite;
    return {
        {s, "INTEGER_64_bits", u"INTEGER", u"3000000000", dec(u"3000000000"), dec(u"4000000001"),
         u"5"},
        {s, "BIGINT", u"BIGINT", u"1099511627776", dec(u"1099511627776"), dec(u"7"), u"5"},
        {s, "REAL_0_1_plus_0_2", u"REAL", u"0.1 + 0.2", Variant(0.3), Variant(2.5), u"0.5"},
        {s, "NUMERIC_10_3", u"NUMERIC(10,3)", u"1.125", Variant(1.125), Variant(2.25), u"0.5"},
        {s, "TIMESTAMP_ISO_T_micro", u"TIMESTAMP", u"'2024-03-05T14:07:09.123456'",
         date(2024, 3, 5, 14, 7, 9, 123), date(2025, 1, 2, 3, 4, 5, 6), u"'2024-03-05 14:07:09'"},
        {s, "DATETIME_CURRENT_TIMESTAMP", u"DATETIME", u"CURRENT_TIMESTAMP", Variant(),
         date(2025, 1, 2, 3, 4, 5), u"'2024-03-05 14:07:09'"},
        {s, "DATE", u"DATE", u"'2024-03-05'", date(2024, 3, 5), date(2025, 1, 2), u"'2024-03-06'"},
        {s, "TIME_fraction", u"TIME", u"'14:07:09.5'", time_of(14, 7, 9, 500), time_of(3, 4, 5, 6),
         u"'14:07:10'"},
        {s, "VARCHAR_20", u"VARCHAR(20)", u"'짧은 글'", Variant(u"짧은 글"), Variant(u"바뀐 글"),
         u"'남의 글'"},
        {s, "VARCHAR_300", u"VARCHAR(300)", u"'긴 글'", Variant(u"긴 글"), Variant(u"바뀐 글"),
         u"'남의 글'"},
        {s, "TEXT", u"TEXT", u"'글'", Variant(u"글"), Variant(u"바뀐 글"), u"'남의 글'"},
        {s, "BLOB", u"BLOB", u"x'00ff10'", bytes({0, 255, 16}), bytes({1, 2}), u"x'09'",
         Outcome::NotCompared},
    };
}

std::vector<TypeCase> postgres_cases() {
    const Server s = Server::PostgreSQL;
    return {
        {s, "integer", u"INTEGER", u"7", Variant(int32_t{7}), Variant(int32_t{8}), u"9"},
        {s, "bigint", u"BIGINT", u"3000000000", dec(u"3000000000"), dec(u"4000000001"), u"5"},
        {s, "real", u"REAL", u"0.1", Variant(0.1), Variant(0.25), u"0.5"},
        {s, "double_0_1_plus_0_2", u"DOUBLE PRECISION", u"0.1::float8 + 0.2::float8",
         Variant(0.1 + 0.2), Variant(2.5), u"0.5"},
        {s, "numeric_38_10_beyond_96_bits", u"NUMERIC(38,10)", u"12345678901234567890.1234567890",
         Variant(u"12345678901234567890.1234567890"), dec(u"1.5"), u"2"},
        {s, "timestamp_micro", u"TIMESTAMP", u"'2024-03-05 14:07:09.123456'",
         date(2024, 3, 5, 14, 7, 9, 123), date(2025, 1, 2, 3, 4, 5, 6), u"now()"},
        {s, "timestamp_now", u"TIMESTAMP", u"now()", Variant(), date(2025, 1, 2, 3, 4, 5, 6),
         u"now()"},
        {s, "timestamptz_micro", u"TIMESTAMPTZ", u"'2024-03-05 14:07:09.123456+00'",
         date(2024, 3, 5, 14, 7, 9, 123), date(2025, 1, 2, 3, 4, 5, 6), u"now()"},
        {s, "timestamptz_now", u"TIMESTAMPTZ", u"now()", Variant(), date(2025, 1, 2, 3, 4, 5, 6),
         u"now()"},
        {s, "time_fraction", u"TIME", u"'14:07:09.5'", time_of(14, 7, 9, 500), time_of(3, 4, 5, 6),
         u"'14:07:10'"},
        {s, "date", u"DATE", u"'2024-03-05'", date(2024, 3, 5), date(2025, 1, 2), u"'2024-03-06'"},
        {s, "varchar_20", u"VARCHAR(20)", u"'짧은 글'", Variant(u"짧은 글"), Variant(u"바뀐 글"),
         u"'남의 글'"},
        {s, "varchar_300", u"VARCHAR(300)", u"'긴 글'", Variant(u"긴 글"), Variant(u"바뀐 글"),
         u"'남의 글'"},
        {s, "text", u"TEXT", u"'글'", Variant(u"글"), Variant(u"바뀐 글"), u"'남의 글'"},
        {s, "json", u"JSON", u"'{\"a\": [1, 2]}'", Variant(u"{\"a\": [1, 2]}"),
         Variant(u"{\"b\": 3}"), u"'{\"c\": 4}'"},
        {s, "jsonb", u"JSONB", u"'{\"a\": [1, 2]}'", Variant(u"{\"a\": [1, 2]}"),
         Variant(u"{\"b\": 3}"), u"'{\"c\": 4}'"},
        {s, "bytea", u"BYTEA", u"'\\x00ff10'", bytes({0, 255, 16}), bytes({1, 2}), u"'\\x09'",
         Outcome::NotCompared},
        {s, "uuid", u"UUID", u"'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'",
         Variant(u"A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11"),
         Variant(u"B0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A12"), u"gen_random_uuid()"},
        {s, "boolean", u"BOOLEAN", u"TRUE", Variant(true), Variant(false), u"NULL"},
    };
}

std::vector<TypeCase> sql_server_cases() {
    const Server s = Server::SqlServer;
    return {
        {s, "datetime", u"datetime", u"'2024-03-05 14:07:09.123'", date(2024, 3, 5, 14, 7, 9, 123),
         date(2025, 1, 2, 3, 4, 5, 7), u"'2024-03-05 14:07:10.000'"},
        {s, "datetime2_7", u"datetime2(7)", u"'2024-03-05 14:07:09.1234567'",
         date(2024, 3, 5, 14, 7, 9, 123), date(2025, 1, 2, 3, 4, 5, 6),
         u"'2024-03-05 14:07:09.1234568'"},
        {s, "datetimeoffset", u"datetimeoffset(7)", u"'2024-03-05 14:07:09.1234567 +01:00'",
         Variant(u"2024-03-05 14:07:09.1234567 +01:00"),
         Variant(u"2025-01-02 03:04:05.0060000 +09:00"), u"'2024-03-05 14:07:09.1234567 +02:00'"},
        {s, "time_7", u"time(7)", u"'14:07:09.1234567'", time_of(14, 7, 9, 123),
         time_of(3, 4, 5, 6), u"'14:07:09.1234568'"},
        {s, "decimal_38_10", u"decimal(38,10)", u"'12345678901234567890.1234567890'",
         Variant(u"12345678901234567890.1234567890"), dec(u"1.5"), u"2"},
        {s, "bigint", u"bigint", u"3000000000", dec(u"3000000000"), dec(u"4000000001"), u"5"},
        {s, "money", u"money", u"12.3456", dec(u"12.3456"), dec(u"7.5"), u"1"},
        {s, "uniqueidentifier", u"uniqueidentifier", u"'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'",
         Variant(u"A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11"),
         Variant(u"B0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A12"),
         u"'C0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A13'"},
        {s, "nvarchar_max", u"nvarchar(max)", u"N'긴 글'", Variant(u"긴 글"), Variant(u"바뀐 글"),
         u"N'남의 글'"},
        {s, "varbinary_max", u"varbinary(max)", u"0x00FF10", bytes({0, 255, 16}), bytes({1, 2}),
         u"0x09", Outcome::NotCompared},
        {s, "rowversion", u"rowversion", u"NULL", Variant(), Variant(), Text(),
         Outcome::NotApplicable},
    };
}

std::vector<TypeCase> all_cases() {
    std::vector<TypeCase> cases = sqlite_cases();
    for (auto list : {postgres_cases(), sql_server_cases()}) {
        cases.insert(cases.end(), list.begin(), list.end());
    }
    return cases;
}

void PrintTo(const TypeCase& t, std::ostream* out) {
    *out << t.label;
}

std::string case_name(const ::testing::TestParamInfo<TypeCase>& info) {
    const char* server = info.param.server == Server::SQLite       ? "SQLite"
                         : info.param.server == Server::PostgreSQL ? "PostgreSQL"
                                                                   : "SqlServer";
    return std::string(server) + "_" + info.param.label;
}

// Alike as VB sees them: the same kind, the same text (a Decimal 1.5000 is 1.5).
::testing::AssertionResult alike(const Variant& expected, const Variant& actual) {
    const bool same_kind = expected.var_type() == actual.var_type();
    const bool same_value =
        expected.is_bytes()
            ? actual.is_bytes() && expected.bytes() == actual.bytes()
            : same_kind && !expected.is_empty() && expected.to_text() == actual.to_text();
    if (same_kind && same_value) {
        return ::testing::AssertionSuccess();
    }
    const auto shown = [](const Variant& v) {
        if (v.is_bytes()) {
            return std::to_string(v.bytes().size()) + " bytes";
        }
        return "type " + std::to_string(v.var_type()) +
               (v.is_null() || v.is_empty() ? std::string() : " '" + to_utf8(v.to_text()) + "'");
    };
    return ::testing::AssertionFailure()
           << "expected " << shown(expected) << ", read " << shown(actual);
}

class TypeMatrixTest : public ::testing::TestWithParam<TypeCase> {
protected:
    void SetUp() override;
    std::shared_ptr<ado::Recordset> row(int id) {
        auto records = db->GetRecordSet(u"SELECT id, c, memo FROM m WHERE id = " +
                                            from_utf8(std::to_string(id)),
                                        0, ado::adLockOptimistic, 3);
        EXPECT_TRUE(records && records->State() == ado::adStateOpen) << to_utf8(db->ErrorDesc);
        return records;
    }
    Variant held(int id) { return row(id)->Fields(u"c").Value(); }
    DirectDb& admin() { return central ? central->admin() : *double_admin; }
    bool sql_server() const { return GetParam().server == Server::SqlServer; }

    TestMachine machine;
    std::unique_ptr<CentralDb> central;
    DoubleProviders double_providers{PELTO_ODBC_DOUBLE};
    std::unique_ptr<platform::Platform> double_platform;
    std::unique_ptr<DirectDb> double_admin;
    std::unique_ptr<clsDBMng> db;
};

void TypeMatrixTest::SetUp() {
    const TypeCase& t = GetParam();
    Text key = u"INTEGER PRIMARY KEY";
    Text memo = u"VARCHAR(20)";
    if (t.server == Server::SqlServer) {
        double_platform = std::make_unique<platform::Platform>(
            platform::with_services(machine.platform(), {.odbc = &double_providers}));
        double_admin = std::make_unique<DirectDb>(u"DRIVER=" + from_utf8(PELTO_ODBC_DOUBLE) + u";");
        db = std::make_unique<clsDBMng>(*double_platform);
        ASSERT_EQ(db->ConnectServerDSN(u"PeltoDouble"), 1);
        key = u"int PRIMARY KEY";
        memo = u"nvarchar(20)";
    } else {
        central = std::make_unique<CentralDb>(
            t.server == Server::SQLite ? Backend::SQLite : Backend::PostgreSQL, machine);
        if (t.server == Server::PostgreSQL) {
            // timestamptz is read in the session's zone.
            central->admin().run(u"ALTER DATABASE " +
                                 central->admin().column(u"SELECT current_database()").front() +
                                 u" SET timezone TO 'UTC'");
        }
        db = std::make_unique<clsDBMng>(machine.platform());
        ASSERT_EQ(db->ConnectServerDB(Text(CentralDb::kAlias), Text(CentralDb::kLogin),
                                      Text(CentralDb::kPassword), CentralDb::kCatalog),
                  1);
    }
    admin().run(u"CREATE TABLE m (id " + key + u", c " + t.type + u", memo " + memo + u")");
    admin().run(u"INSERT INTO m VALUES (1, " + t.stored + u", 'a'), (2, " + t.stored + u", 'b')");
}

TEST_P(TypeMatrixTest, ReadExactlyWrittenBackChangedComparedAndPassedAsParameter) {
    const TypeCase& t = GetParam();
    const bool row_version = t.conflict == Outcome::NotApplicable;
    const Variant first = held(1);
    // 1. Read exactly (a row version and CURRENT_TIMESTAMP are the server's own).
    if (t.read.is_empty()) {
        EXPECT_TRUE(row_version ? first.is_bytes() && first.bytes().size() == 8
                                : first.var_type() == 7)
            << "read";
    } else {
        EXPECT_TRUE(alike(t.read, first)) << "read";
    }
    // 2. Written back unchanged, then Update: nothing changes.
    auto records = row(1);
    records->Fields(u"c").Value(records->Fields(u"c").Value());
    EXPECT_EQ(error_of([&] { records->Update(); }).number, 0) << "written back";
    EXPECT_TRUE(alike(first, held(1))) << "written back";
    // 3. Changed, then Update: the server holds the new value.
    if (!row_version) {
        records->Fields(u"c").Value(t.changed);
        EXPECT_EQ(error_of([&] { records->Update(); }).number, 0) << "changed";
        EXPECT_TRUE(alike(t.changed, held(1))) << "changed";
    }
    // 4. Another column edited, every column compared.
    records = row(1);
    records->Properties(u"Update Criteria").Value(Variant(ado::adCriteriaAllCols));
    records->Fields(u"memo").Value(Text(u"x"));
    EXPECT_EQ(error_of([&] { records->Update(); }).number, 0) << "another column";
    // 5. Another user changed the same column: the update finds no row. A row version
    // changes with any change, and is compared with adCriteriaTimeStamp.
    records = row(1);
    if (row_version) {
        records->Properties(u"Update Criteria").Value(Variant(ado::adCriteriaTimeStamp));
        admin().run(u"UPDATE m SET memo = 'y' WHERE id = 1");
        records->Fields(u"memo").Value(Text(u"z"));
    } else {
        admin().run(u"UPDATE m SET c = " + t.other + u" WHERE id = 1");
        records->Fields(u"c").Value(first); // the row read holds the changed value
    }
    const int32_t found = error_of([&] { records->Update(); }).number;
    EXPECT_EQ(found, t.conflict == Outcome::NotCompared ? 0 : adoerr::kRowNotFound) << "conflict";
    // 6. A parameter of the field's own type writes the value; it reads back the same.
    if (!row_version) {
        const auto second = row(2);
        const ado::Field& field = second->Fields(u"c");
        ado::Command command;
        command.ActiveConnection(db->sConnect.get());
        command.CommandText(u"UPDATE m SET c = ? WHERE id = 2");
        auto parameter = command.CreateParameter(u"p", field.Type(), ado::adParamInput,
                                                 std::max(field.DefinedSize(), 0), t.changed);
        parameter->Precision(field.Precision());
        parameter->NumericScale(field.NumericScale());
        command.Parameters().Append(parameter);
        EXPECT_EQ(error_of([&] { command.Execute(); }).number, 0) << "parameter";
        EXPECT_TRUE(alike(t.changed, held(2))) << "parameter";
    }
}

INSTANTIATE_TEST_SUITE_P(Types, TypeMatrixTest, ::testing::ValuesIn(all_cases()), case_name);

} // namespace
} // namespace pelto::dbtest
