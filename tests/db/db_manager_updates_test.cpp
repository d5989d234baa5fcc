// Update as ADO's client cursor makes it, on every backend: the row is found by its key
// and the original values of the changed columns, exactly one row changes or none, an
// edit lands in the column it names or nowhere; on PostgreSQL, decimals are bound as
// their column and a value the server cut is never taken for written.
#include "tests/db/backend_fixture.h"

namespace pelto::dbtest {
namespace {

namespace fs = std::filesystem;

class UpdatesTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        central->admin().run(u"CREATE TABLE 환자 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20), "
                             u"메모 VARCHAR(20), 금액 DECIMAL(10,3))");
        central->admin().run(
            u"INSERT INTO 환자 VALUES (1, '가', 'a', 1.5), (2, NULL, 'b', 2), (3, NULL, 'c', 3)");
    }
    std::shared_ptr<ado::Recordset> open(const Text& sql) {
        auto records = db.GetRecordSet(sql, 0, ado::adLockOptimistic, 3);
        EXPECT_TRUE(records && records->State() == ado::adStateOpen) << to_utf8(db.ErrorDesc);
        return records;
    }
    std::shared_ptr<ado::Recordset> patient(int number) {
        return open(u"SELECT 번호, 이름, 메모, 금액 FROM 환자 WHERE 번호 = " +
                    from_utf8(std::to_string(number)));
    }
};
PELTO_ON_EVERY_BACKEND(UpdatesTest);

TEST_P(UpdatesTest, AChangeMadeSinceTheRowWasReadIsNeverOverwritten) {
    const auto first = patient(1);
    const auto second = patient(2);
    const auto third = patient(3);
    central->admin().run(u"UPDATE 환자 SET 이름 = '남의 것' WHERE 번호 IN (1, 3)");
    central->admin().run(u"UPDATE 환자 SET 메모 = 'x' WHERE 번호 = 2"); // a column not edited

    first->Fields(u"이름").Value(Text(u"내 것"));
    const Error lost = error_of([&] { first->Update(); });
    EXPECT_EQ(lost.number, adoerr::kRowNotFound);
    EXPECT_EQ(lost.description, u"Row cannot be located for updating. Some values may have "
                                u"been changed since it was last read.");
    // A Null read is compared as Null: changed since, the edit fails; still Null, it lands.
    third->Fields(u"이름").Value(Text(u"내 것"));
    EXPECT_EQ(error_of([&] { third->Update(); }).number, adoerr::kRowNotFound);
    second->Fields(u"이름").Value(Text(u"내 것"));
    second->Update();
    EXPECT_EQ(column(u"SELECT 이름 FROM 환자 ORDER BY 번호"),
              (std::vector<Text>{u"남의 것", u"내 것", u"남의 것"}));
}

TEST_P(UpdatesTest, AnUpdateThatWouldChangeSeveralRowsChangesNone) {
    // The only key is a unique index that covers the active rows alone.
    central->admin().run(u"CREATE TABLE 부서 (코드 VARCHAR(10), 이름 VARCHAR(20), 사용 INTEGER)");
    central->admin().run(u"CREATE UNIQUE INDEX 부서_코드 ON 부서 (코드) WHERE 사용 = 1");
    central->admin().run(u"INSERT INTO 부서 VALUES ('K1', '같음', 0), ('K1', '같음', 1)");
    const auto retired = open(u"SELECT 코드, 이름, 사용 FROM 부서 WHERE 사용 = 0");
    const auto rename = [&] {
        retired->Fields(u"이름").Value(Text(u"바뀜"));
        const Error e = error_of([&] { retired->Update(); });
        retired->CancelUpdate();
        EXPECT_EQ(e.number, adoerr::kFail);
        EXPECT_TRUE(contains(e.description, u"Too many rows")) << to_utf8(e.description);
    };
    rename();
    EXPECT_EQ(column(u"SELECT 이름 FROM 부서"), (std::vector<Text>{u"같음", u"같음"}));

    // Inside the caller's transaction only the update is undone.
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 부서 VALUES ('K2', '새', 1)"), 1);
    rename();
    db.fnCommitTrans();
    EXPECT_EQ(column(u"SELECT 이름 FROM 부서 ORDER BY 코드, 사용"),
              (std::vector<Text>{u"같음", u"같음", u"새"}));
}

TEST_P(UpdatesTest, AnEditLandsInTheColumnItNamesOrNowhere) {
    const auto both = [&] {
        return column(u"SELECT 이름 || '/' || 메모 FROM 환자 WHERE 번호 = 1");
    };
    const auto swapped = open(u"SELECT 번호, 이름 AS 메모, 메모 AS 이름 FROM 환자 WHERE 번호 = 1");
    if (postgres()) {
        // psqlODBC names each column's origin: the field 메모 is the column 이름.
        swapped->Fields(u"메모").Value(Text(u"나"));
        swapped->Update();
        EXPECT_EQ(both(), (std::vector<Text>{u"나/a"}));
    } else {
        // The SQLite driver gives an alias as its own origin: the field takes no edit.
        EXPECT_EQ(error_of([&] { swapped->Fields(u"메모").Value(Text(u"나")); }).number,
                  adoerr::kParameterTypeUnsupported);
        EXPECT_EQ(both(), (std::vector<Text>{u"가/a"}));
    }
    // Through a view that renames the columns: the SQLite driver names the table below
    // it with the view's labels, psqlODBC the view, which has no key. No edit lands.
    central->admin().run(u"UPDATE 환자 SET 이름 = '가' WHERE 번호 = 1");
    central->admin().run(
        u"CREATE VIEW 환자뷰 AS SELECT 번호, 이름 AS 메모, 메모 AS 이름 FROM 환자");
    const auto view = open(u"SELECT 번호, 메모 FROM 환자뷰 WHERE 번호 = 1");
    EXPECT_NE(error_of([&] {
                  view->Fields(u"메모").Value(Text(u"다"));
                  view->Update();
              }).number,
              0);
    EXPECT_EQ(both(), (std::vector<Text>{u"가/a"}));
    // Columns selected as themselves take edits on every backend.
    const auto plain = open(u"SELECT 번호, 메모 FROM 환자 WHERE 번호 = 3");
    plain->Fields(u"메모").Value(Text(u"새"));
    plain->Update();
    EXPECT_EQ(column(u"SELECT 메모 FROM 환자 WHERE 번호 = 3"), (std::vector<Text>{u"새"}));
}

// --- PostgreSQL: what the driver is given for a decimal, and a value the server cut ---

using DecimalUpdatesTest = UpdatesTest;
INSTANTIATE_TEST_SUITE_P(Backends, DecimalUpdatesTest, ::testing::Values(Backend::PostgreSQL),
                         backend_test_name);

TEST_P(DecimalUpdatesTest, ADecimalIsBoundAsItsColumnAndACutValueIsNeverTakenForWritten) {
    const auto row = patient(1);
    row->Fields(u"금액").Value(Text(u"2.125"));
    {
        const DriverManagerTrace trace(fs::path(std::getenv("TMPDIR")) / "trace.log");
        row->Update();
        // The new value and the original one in the criteria, as DECIMAL(10,3).
        EXPECT_EQ(trace.decimal_binds(), (std::vector<std::string>{"10,3", "10,3"}));
    }
    EXPECT_EQ(column(u"SELECT 금액 FROM 환자 WHERE 번호 = 1"), (std::vector<Text>{u"2.125"}));

    // A server that says it cut a written value (SQL Server: 01004, 01S07, 22001 as a
    // warning): the update fails and nothing of it stays.
    central->admin().run(u"CREATE FUNCTION 잘림() RETURNS trigger AS $$ BEGIN RAISE WARNING "
                         u"'value cut' USING ERRCODE = '01004'; RETURN NEW; END $$ "
                         u"LANGUAGE plpgsql");
    central->admin().run(
        u"CREATE TRIGGER 잘림 BEFORE UPDATE ON 환자 FOR EACH ROW EXECUTE FUNCTION 잘림()");
    const auto cut = patient(2);
    cut->Fields(u"이름").Value(Text(u"잘린 이름"));
    const Error e = error_of([&] { cut->Update(); });
    EXPECT_EQ(e.number, adoerr::kDataOverflow);
    EXPECT_EQ(e.sql_state, u"01004");
    EXPECT_EQ(column(u"SELECT 이름 FROM 환자 WHERE 번호 = 2"), (std::vector<Text>{u"<NULL>"}));
}

} // namespace
} // namespace pelto::dbtest
