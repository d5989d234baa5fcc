// Values come back as the server holds them and go back only where they changed, on
// every backend: integers of 64 bits, the caller's transaction left to the caller, a
// second fnBeginTrans logged, text holding NUL refused.
#include "tests/db/backend_fixture.h"

namespace pelto::dbtest {
namespace {

Variant decimal(const char16_t* text) {
    return Decimal::from_text(text);
}

class ExactValuesTest : public BackendTest {
protected:
    std::shared_ptr<ado::Recordset> open(const Text& sql) {
        auto records = db.GetRecordSet(sql, 0, ado::adLockOptimistic, 3);
        EXPECT_TRUE(records && records->State() == ado::adStateOpen) << to_utf8(db.ErrorDesc);
        return records;
    }
};
PELTO_ON_EVERY_BACKEND(ExactValuesTest);

TEST_P(ExactValuesTest, IntegersBeyond32BitsComeBackAsDecimalsAndGoBackExactly) {
    // SQLite's INTEGER holds 64 bits and its driver calls it SQL_INTEGER.
    central->admin().run(u"CREATE TABLE 큰수 (번호 INTEGER PRIMARY KEY, 값 " +
                         Text(postgres() ? u"BIGINT" : u"INTEGER") + u")");
    central->admin().run(u"INSERT INTO 큰수 VALUES (1, 3000000000), (2, 1099511627776), "
                         u"(3, -3000000000), (4, 7)");
    const auto rows = open(u"SELECT 번호, 값 FROM 큰수 ORDER BY 번호");
    std::vector<Variant> read;
    for (; !rows->Eof(); rows->MoveNext()) {
        read.push_back(rows->Fields(1).Value());
    }
    // A BIGINT is a Decimal whatever its value, as ADO hands VB an adBigInt.
    const Variant seven = postgres() ? decimal(u"7") : Variant(int32_t{7});
    EXPECT_EQ(read, (std::vector<Variant>{decimal(u"3000000000"), decimal(u"1099511627776"),
                                          decimal(u"-3000000000"), seven}));
    Variant array;
    ASSERT_TRUE(db.fnGetRows(u"SELECT 값 FROM 큰수 WHERE 번호 = 2", array));
    EXPECT_EQ(array.array().at(0, 0), decimal(u"1099511627776"));

    rows->MoveFirst();
    rows->Fields(1).Value(decimal(u"3000000001"));
    rows->Update();
    rows->MoveNext();
    rows->Fields(1).Value(Variant(2.5)); // CLng's rounding: halves to even
    rows->Update();
    EXPECT_EQ(column(u"SELECT 값 FROM 큰수 ORDER BY 번호"),
              (std::vector<Text>{u"3000000001", u"2", u"-3000000000", u"7"}));
}

TEST_P(ExactValuesTest, AnUpdateInsideATransactionBegunAsSqlLeavesItToTheCaller) {
    central->admin().run(u"CREATE TABLE 환자 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20))");
    central->admin().run(u"INSERT INTO 환자 VALUES (1, '가')");
    const auto names = [&] { return column(u"SELECT 이름 FROM 환자 ORDER BY 번호"); };
    const auto work = [&](const Text& end) {
        ASSERT_EQ(db.RunSQL(u"BEGIN"), 1);
        ASSERT_EQ(db.RunSQL(u"INSERT INTO 환자 VALUES (2, '나')"), 1);
        const auto row = open(u"SELECT 번호, 이름 FROM 환자 WHERE 번호 = 1");
        row->Fields(u"이름").Value(Text(u"다"));
        row->Update();
        // Nothing is committed behind the caller: another connection sees none of it.
        EXPECT_EQ(names(), (std::vector<Text>{u"가"}));
        ASSERT_EQ(db.RunSQL(end), 1);
    };
    work(u"ROLLBACK");
    EXPECT_EQ(names(), (std::vector<Text>{u"가"}));
    work(u"COMMIT");
    EXPECT_EQ(names(), (std::vector<Text>{u"다", u"나"}));
}

// Dates, times and reals the server made itself: what is read is what it holds, so that
// writing it back (VB's habit of writing every field of a form) and editing the row
// succeed, with every column compared or the changed ones only.
TEST_P(ExactValuesTest, ValuesTheServerMadeAreWrittenBackAndEditedWithoutConflict) {
    if (postgres()) {
        central->admin().run(u"CREATE TABLE 시각 (번호 INTEGER PRIMARY KEY, 가 TIMESTAMP, "
                             u"나 TIMESTAMPTZ, 다 TIME, 라 JSON, 마 DOUBLE PRECISION, 메모 TEXT)");
        central->admin().run(u"INSERT INTO 시각 VALUES (1, now(), now(), '14:07:09.5', "
                             u"'{\"a\": [1, 2]}', 0.1::float8 + 0.2::float8, 'x')");
    } else {
        central->admin().run(u"CREATE TABLE 시각 (번호 INTEGER PRIMARY KEY, 가 TIMESTAMP, "
                             u"나 DATETIME, 다 TIME, 라 DATE, 마 REAL, 메모 TEXT)");
        central->admin().run(u"INSERT INTO 시각 VALUES (1, '2024-03-05T14:07:09.123456', "
                             u"CURRENT_TIMESTAMP, '14:07:09.5', '2024-03-05', 0.1 + 0.2, 'x')");
    }
    const auto row = open(u"SELECT 번호, 가, 나, 다, 라, 마, 메모 FROM 시각");
    EXPECT_EQ(row->Fields(u"다").Value(), Variant(Date::from_parts(1899, 12, 30, 14, 7, 9, 500)));
    const auto write_back_all = [&] {
        for (int32_t f = 1; f < row->FieldsCount(); ++f) {
            row->Fields(f).Value(row->Fields(f).Value());
        }
    };
    // The server's own text of what it holds.
    const Text held = postgres() ? u"SELECT 가::text || '|' || 나::text || '|' || 다::text || '|' "
                                   u"|| 라::text || '|' || 마::text FROM 시각"
                                 : u"SELECT 가 || '|' || 나 || '|' || 다 || '|' || 라 || '|' || "
                                   u"(마 = 0.1 + 0.2) FROM 시각";
    const std::vector<Text> before = column(held);
    // Every field written back and one changed: only the changed one is written, and
    // compared; what the others hold stays to the last digit.
    write_back_all();
    row->Fields(u"메모").Value(Text(u"y"));
    row->Update();
    EXPECT_EQ(column(held), before);
    // Every column compared, each original as the server holds it.
    row->Properties(u"Update Criteria").Value(Variant(ado::adCriteriaAllCols));
    write_back_all();
    row->Fields(u"메모").Value(Text(u"z"));
    row->Update();
    // Each of them changed in turn, its own original compared.
    row->Properties(u"Update Criteria").Value(Variant(ado::adCriteriaUpdCols));
    for (const char16_t* name : {u"가", u"나", u"다"}) {
        row->Fields(name).Value(Date::from_parts(2025, 1, 2, 3, 4, 5, 6));
        EXPECT_EQ(error_of([&] { row->Update(); }).number, 0) << to_utf8(name);
    }
    row->Fields(u"마").Value(2.5);
    EXPECT_EQ(error_of([&] { row->Update(); }).number, 0);
    EXPECT_EQ(column(u"SELECT 메모 FROM 시각"), (std::vector<Text>{u"z"}));
}

// Text of any length is compared: a second writer of the same column learns that the
// first one changed it.
TEST_P(ExactValuesTest, LongTextIsComparedSoNoChangeIsLost) {
    central->admin().run(u"CREATE TABLE 메모 (번호 INTEGER PRIMARY KEY, 긴것 VARCHAR(300), "
                         u"글 TEXT)");
    central->admin().run(u"INSERT INTO 메모 VALUES (1, 'a', 'b')");
    for (const char16_t* name : {u"긴것", u"글"}) {
        const auto first = open(u"SELECT 번호, 긴것, 글 FROM 메모");
        const auto second = open(u"SELECT 번호, 긴것, 글 FROM 메모");
        first->Fields(name).Value(Text(u"첫째"));
        first->Update();
        second->Fields(name).Value(Text(u"둘째"));
        EXPECT_EQ(error_of([&] { second->Update(); }).number, adoerr::kRowNotFound)
            << to_utf8(name);
    }
    EXPECT_EQ(column(u"SELECT 긴것 || 글 FROM 메모"), (std::vector<Text>{u"첫째첫째"}));
}

// Which change of another user an update finds: ADO's "Update Criteria".
TEST_P(ExactValuesTest, UpdateCriteriaDecideWhichChangesOfAnotherUserAreFound) {
    central->admin().run(u"CREATE TABLE 환자 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20), "
                         u"메모 VARCHAR(20))");
    central->admin().run(u"INSERT INTO 환자 VALUES (1, '가', 'a')");
    // PostgreSQL's row version is xmin; SQLite has none, and every column is compared.
    const Text select = postgres() ? u"SELECT 번호, 이름, 메모, xmin FROM 환자"
                                   : u"SELECT 번호, 이름, 메모 FROM 환자";
    int edits = 0;
    const auto after_other_user = [&](int32_t criteria, const Text& other_change) {
        const auto row = open(select);
        row->Properties(u"Update Criteria").Value(Variant(criteria));
        central->admin().run(u"UPDATE 환자 SET " + other_change);
        row->Fields(u"이름").Value(Text(u"내 것 ") + from_utf8(std::to_string(++edits)));
        const int32_t number = error_of([&] { row->Update(); }).number;
        row->CancelUpdate();
        return number;
    };
    EXPECT_EQ(after_other_user(ado::adCriteriaKey, u"이름 = '남1'"), 0);
    EXPECT_EQ(after_other_user(ado::adCriteriaUpdCols, u"메모 = 'b'"), 0);
    EXPECT_EQ(after_other_user(ado::adCriteriaUpdCols, u"이름 = '남2'"), adoerr::kRowNotFound);
    EXPECT_EQ(after_other_user(ado::adCriteriaAllCols, u"메모 = 'c'"), adoerr::kRowNotFound);
    EXPECT_EQ(after_other_user(ado::adCriteriaTimeStamp, u"메모 = 'd'"), adoerr::kRowNotFound);
    EXPECT_EQ(column(u"SELECT 이름 || 메모 FROM 환자"), (std::vector<Text>{u"남2d"}));
    if (postgres()) {
        // The row version finds a change of a column the record set does not hold.
        const auto row = open(u"SELECT 번호, 이름, xmin FROM 환자");
        row->Properties(u"Update Criteria").Value(Variant(ado::adCriteriaTimeStamp));
        central->admin().run(u"UPDATE 환자 SET 메모 = 'e'");
        row->Fields(u"이름").Value(Text(u"내 것"));
        EXPECT_EQ(error_of([&] { row->Update(); }).number, adoerr::kRowNotFound);
        row->CancelUpdate();
    }

    const auto row = open(select);
    EXPECT_EQ(error_of([&] { row->Properties(u"Update Criteria").Value(Variant(4)); }).number,
              adoerr::kArgumentsWrongType);
    EXPECT_EQ(error_of([&] { row->Properties(u"Unique Table"); }).number,
              adoerr::kNotFoundInCollection);
}

TEST_P(ExactValuesTest, TextHoldingNulIsRefusedNamingTheFieldOrParameter) {
    central->admin().run(u"CREATE TABLE 이름표 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20))");
    central->admin().run(u"INSERT INTO 이름표 VALUES (1, 'a')");
    const Text cut(u"가\0나", 3);
    const auto row = open(u"SELECT 번호, 이름 FROM 이름표");
    row->Fields(u"이름").Value(cut);
    const Error refused = error_of([&] { row->Update(); });
    EXPECT_EQ(refused.number, adoerr::kDataOverflow);
    EXPECT_TRUE(contains(refused.description, u"field '이름'")) << to_utf8(refused.description);
    row->CancelUpdate();

    ASSERT_EQ(db.CommandAppendPara(Text(u"새이름"), cut), 0);
    EXPECT_EQ(db.CommandExcute(u"UPDATE 이름표 SET 이름 = ?"), -1000);
    EXPECT_TRUE(contains(db.ErrorDesc, u"parameter '새이름'")) << to_utf8(db.ErrorDesc);
    EXPECT_EQ(column(u"SELECT 이름 FROM 이름표"), (std::vector<Text>{u"a"}));
}

} // namespace
} // namespace pelto::dbtest
