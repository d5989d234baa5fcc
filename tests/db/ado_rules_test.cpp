// The rules of the ADO layer that need no database: the SQLSTATE table, GetRecordSet's
// choice of message and the clock digits.
#include "db/ado/ado_error.h"
#include "db/ado/odbc_check.h"
#include "db/ado/select_origin.h"
#include "db/cls_db_mng.h"
#include "db/cls_db_mng_trap.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>

namespace pelto {
namespace {

// The table's known answers, read from tests/db/sqlstate_numbers.txt.
TEST(SqlStateTable, EachStateGetsAdosNumberWhereItHappened) {
    std::ifstream file(PELTO_SQLSTATE_NUMBERS);
    ASSERT_TRUE(file) << PELTO_SQLSTATE_NUMBERS;
    const std::map<std::string, ado::OdbcContext> contexts{
        {"connect", ado::OdbcContext::Connect},
        {"statement", ado::OdbcContext::Statement},
        {"transaction", ado::OdbcContext::Transaction}};
    int checked = 0;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string state;
        std::string where;
        int32_t expected = 0;
        fields >> state >> where >> expected;
        ASSERT_TRUE(fields && contexts.count(where)) << "line " << number << ": " << line;
        const size_t quote = line.find('"');
        const std::string message =
            quote == std::string::npos ? "" : line.substr(quote + 1, line.rfind('"') - quote - 1);
        EXPECT_EQ(ado::ado_number(from_utf8(state), contexts.at(where), from_utf8(message)),
                  expected)
            << "line " << number << ": " << line;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(ManagerTrap, FailuresThatAreNeitherVbsNorAdosNeverLookLikeALostConnection) {
    const auto internal = dbmng::trap([] { throw std::runtime_error("bad state"); });
    ASSERT_TRUE(internal);
    EXPECT_EQ(internal->number, vberr::kInternalError);
    EXPECT_FALSE(record_set_failure_notice(internal->number, Text()).reconnect);
    const auto memory = dbmng::trap([] { throw std::bad_alloc(); });
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->number, vberr::kOutOfMemory);
    EXPECT_EQ(memory->description, u"Out of memory");
}

TEST(SqlStateTable, TheMostTellingRecordDecides) {
    using ado::DiagRecord;
    // FreeTDS against a closed port.
    const std::vector<DiagRecord> freetds{
        {u"08S01", 20009,
         u"[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable"},
        {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"}};
    const Error e1 = ado::odbc_error(freetds, ado::OdbcContext::Connect, u"src", u"fallback");
    EXPECT_EQ(e1.number, adoerr::kFail);
    EXPECT_EQ(e1.description, freetds[0].message);
    EXPECT_EQ(e1.source, u"src");
    EXPECT_EQ(e1.sql_state, u"08S01"); // the record the description came from
    EXPECT_EQ(e1.native, 20009);
    // A warning first, the refused login after it.
    const std::vector<DiagRecord> login{{u"01000", 0, u"changed database context"},
                                        {u"28000", 18456, u"Login failed for user 'sa'."}};
    EXPECT_EQ(ado::odbc_error(login, ado::OdbcContext::Connect, u"s", u"f").number,
              adoerr::kLoginFailed);
    // No record at all: the fallback text, E_FAIL at connect time.
    const Error none = ado::odbc_error({}, ado::OdbcContext::Connect, u"s", u"no file");
    EXPECT_EQ(none.number, adoerr::kFail);
    EXPECT_EQ(none.description, u"no file");
    EXPECT_TRUE(none.sql_state.empty());
    EXPECT_EQ(none.native, 0);
}

TEST(OdbcCheck, AFailureWithoutADiagnosticRecordNamesTheFunction) {
    try {
        ado::check(-1, ado::odbc::Handle(), "SQLExecDirectW", ado::OdbcContext::Statement, u"src");
        ADD_FAILURE() << "a failed call passed";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), adoerr::kSyntaxOrAccess);
        EXPECT_TRUE(contains(e.error().description, u"SQLExecDirectW"))
            << to_utf8(e.error().description);
    }
    // A call whose failure is an answer: no more rows is no failure, an error is read.
    EXPECT_FALSE(
        ado::answer(100, ado::odbc::Handle(), "SQLFetch", ado::OdbcContext::Statement, u"src")
            .failed());
    const auto failed =
        ado::answer(-1, ado::odbc::Handle(), "SQLFetch", ado::OdbcContext::Statement, u"src");
    ASSERT_TRUE(failed.failed());
    EXPECT_TRUE(contains(failed.failure->description, u"SQLFetch"));
}

TEST(RecordSetFailureNotice, ChoosesReconnectionAndMessageInTheirOrder) {
    const Text connection_error = u"데이터 연결 오류 입니다!";
    auto n = record_set_failure_notice(adoerr::kFail, Text());
    EXPECT_TRUE(n.reconnect);
    EXPECT_EQ(n.message, connection_error);
    EXPECT_EQ(n.icon, platform::MessageIcon::Critical);

    n = record_set_failure_notice(adoerr::kClosedObject, Text());
    EXPECT_FALSE(n.reconnect);
    EXPECT_EQ(n.message, connection_error);

    n = record_set_failure_notice(adoerr::kSyntaxOrAccess, Text());
    EXPECT_FALSE(n.reconnect);
    EXPECT_EQ(n.message, u"데이터 연결을 확인해주세요.");
    EXPECT_EQ(n.icon, platform::MessageIcon::Critical);

    // The two tests of the error text: a connection text reconnects whatever the number;
    // any other text is shown as it is, without an icon.
    n = record_set_failure_notice(adoerr::kSyntaxOrAccess, u"서버 연결을 잃었습니다");
    EXPECT_TRUE(n.reconnect);
    EXPECT_EQ(n.message, connection_error);
    n = record_set_failure_notice(adoerr::kClosedObject, u"anything");
    EXPECT_EQ(n.message, connection_error);
    n = record_set_failure_notice(adoerr::kSyntaxOrAccess, u"syntax error");
    EXPECT_FALSE(n.reconnect);
    EXPECT_EQ(n.message, u"syntax error");
    EXPECT_EQ(n.icon, platform::MessageIcon::None);
}

// For a driver that names every column's origin by its label, only a column that is
// certainly selected as itself from the one table may take an edit.
TEST(SelectOrigin, OnlyAColumnSelectedAsItselfFromItsOneTableIsCertain) {
    using ado::selects_column_itself;
    EXPECT_TRUE(
        selects_column_itself(u"SELECT 번호, 내용 FROM 사진 WHERE 번호 = 1", u"사진", u"내용"));
    EXPECT_TRUE(selects_column_itself(u"select p.\"내용\" from dbo.사진 p", u"사진", u"내용"));
    EXPECT_TRUE(selects_column_itself(u"SELECT * FROM 사진 ORDER BY 1;", u"사진", u"내용"));
    // An alias, with or without AS, in quotes, or hidden behind a comment of the text.
    EXPECT_FALSE(selects_column_itself(u"SELECT a AS b, b AS a FROM t", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT a b FROM t", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT *, a \"b\" FROM t", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT b, /* , */ a [b] FROM t", u"t", u"b"));
    // Another table than the one the driver names: a view, a subquery, a join.
    EXPECT_FALSE(selects_column_itself(u"SELECT b FROM v", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT b FROM (SELECT a AS b FROM t) t", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT t.b FROM t JOIN u ON u.id = t.id", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT t.b FROM t, u", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT u.b FROM t", u"t", u"b"));
    EXPECT_FALSE(selects_column_itself(u"SELECT b FROM t WHERE x = 'unclosed", u"t", u"b"));
}

TEST(SystemDateDigits, Style121BecomesSeventeenDigits) {
    EXPECT_EQ(system_date_digits(u"2024-03-05 14:07:09.123"), u"20240305140709123");
    EXPECT_EQ(system_date_digits(u"  2024-03-05 14:07:09.123  "), u"20240305140709123");
    EXPECT_EQ(system_date_digits(u""), u"");
}

} // namespace
} // namespace pelto
