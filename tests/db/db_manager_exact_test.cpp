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

} // namespace
} // namespace pelto::dbtest
