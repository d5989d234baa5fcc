// Batches as SQL Server's driver delivers them, through a recording test double of a
// driver (odbc_double/) that the driver manager loads by its path: a later statement's
// error arrives only at SQLMoreResults, output values only after the last result.
#include "tests/db/db_test_support.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace pelto::dbtest {
namespace {

namespace fs = std::filesystem;

class SqlServerOrderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(db.ConnectServerDSN(u"PeltoDouble"), 1); }

    // The calls the double recorded since the last look, one per line.
    std::vector<std::string> recorded() const {
        std::ifstream in(record_path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        fs::remove(record_path);
        return lines;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TestMachine machine;
    fs::path record_path = fs::path(std::getenv("TMPDIR")) / "double-record.txt";
    ScopedEnv record_file{"PELTO_ODBC_DOUBLE_RECORD", record_path.string()};
    DoubleProviders providers{PELTO_ODBC_DOUBLE};
    platform::Platform platform = platform::with_services(machine.platform(), {.odbc = &providers});
    clsDBMng db{platform};
};

TEST_F(SqlServerOrderTest, AnErrorThatArrivesWithALaterResultFailsTheCall) {
    const Text batch = u"count 1; error 22012 Divide by zero error encountered.";
    EXPECT_EQ(db.RunSQL(batch), -1000);
    EXPECT_EQ(db.CommandExcute(batch), -1000);
    EXPECT_TRUE(contains(db.ErrorDesc, u"Divide by zero")) << to_utf8(db.ErrorDesc);
    int32_t affected = 0;
    Text description;
    EXPECT_FALSE(db.fnExecute(batch, affected, description));
    EXPECT_TRUE(has(recorded(), "more results: 2"));

    // Nothing of the transaction is committed.
    EXPECT_EQ(db.RunSQLTrans({u"count 1", batch}), -1000);
    const auto calls = recorded();
    EXPECT_TRUE(has(calls, "rollback"));
    EXPECT_FALSE(has(calls, "commit"));
}

TEST_F(SqlServerOrderTest, OutputValuesAreReadAfterTheLastResult) {
    ASSERT_EQ(db.CommandAppendPara(Text(u"결과"), int32_t{0}, 1, ado::adParamReturnValue), 0);
    const auto result = db.sParameter;
    ASSERT_EQ(db.CommandAppendPara(Text(u"답"), Text(u""), 0, ado::adParamOutput, 20), 0);
    const auto answer = db.sParameter;
    EXPECT_EQ(db.CommandExcute(u"count 2; rows 3; count 1; out 42"), 2);
    EXPECT_EQ(result->Value(), Variant(int32_t{42}));
    EXPECT_EQ(answer->Value(), Variant(u"42"));
    EXPECT_TRUE(has(recorded(), "outputs written"));
}

// Update's undo point nests in whatever transaction is open, the caller's included: a
// nested BEGIN TRANSACTION only counts up, SAVE TRANSACTION marks the point, and neither
// the driver's commit nor its rollback is called.
TEST_F(SqlServerOrderTest, AnUpdateNestsItsUndoPointInsideAnyOpenTransaction) {
    ASSERT_EQ(db.RunSQL(u"CREATE TABLE n (id int PRIMARY KEY, name nvarchar(20))"), 1);
    ASSERT_EQ(db.RunSQL(u"INSERT INTO n VALUES (1, N'a')"), 1);
    const auto row = db.GetRecordSet(u"SELECT id, name FROM n", 0, ado::adLockOptimistic, 3);
    ASSERT_TRUE(row && row->State() == ado::adStateOpen) << to_utf8(db.ErrorDesc);
    recorded();
    row->Fields(u"name").Value(Text(u"b"));
    row->Update();
    auto calls = recorded();
    const auto at = [&](const std::string& line) {
        return std::find(calls.begin(), calls.end(), line) - calls.begin();
    };
    EXPECT_LT(at("execute BEGIN TRANSACTION"), at("execute SAVE TRANSACTION pelto_undo_point"));
    EXPECT_LT(at("execute SAVE TRANSACTION pelto_undo_point"), at("execute COMMIT TRANSACTION"));
    EXPECT_LT(at("execute COMMIT TRANSACTION"), static_cast<std::ptrdiff_t>(calls.size()));
    for (const char* never : {"commit", "rollback", "autocommit off"}) {
        EXPECT_FALSE(has(calls, never)) << never;
    }
    // A row another user changed: back to the point, and the nested transaction ends.
    ASSERT_EQ(db.RunSQL(u"UPDATE n SET name = N'c' WHERE id = 1"), 1);
    row->Fields(u"name").Value(Text(u"d"));
    EXPECT_EQ(error_of([&] { row->Update(); }).number, adoerr::kRowNotFound);
    calls = recorded();
    EXPECT_LT(at("execute ROLLBACK TRANSACTION pelto_undo_point"),
              at("execute COMMIT TRANSACTION"));
    EXPECT_LT(at("execute COMMIT TRANSACTION"), static_cast<std::ptrdiff_t>(calls.size()));
}

// SQL Server's text may hold NUL; it comes back whole, as long as the driver counts it.
TEST_F(SqlServerOrderTest, TextHoldingNulIsReadWhole) {
    ASSERT_EQ(db.RunSQL(u"CREATE TABLE z (id int PRIMARY KEY, name nvarchar(20))"), 1);
    ASSERT_EQ(db.RunSQL(u"INSERT INTO z VALUES (1, N'a' + NCHAR(0) + N'b')"), 1);
    const auto row = db.GetRecordSet(u"SELECT id, name FROM z");
    ASSERT_TRUE(row && row->State() == ado::adStateOpen) << to_utf8(db.ErrorDesc);
    EXPECT_EQ(row->Fields(u"name").Value(), Variant(Text(u"a\0b", 3)));
}

} // namespace
} // namespace pelto::dbtest
