// Batches as SQL Server's driver delivers them, through a recording test double of a
// driver (odbc_double/) that the driver manager loads by its path: a later statement's
// error arrives only at SQLMoreResults, output values only after the last result. (The
// driver manager reads ODBCSYSINI once per process, so the double is named by its path,
// not registered in an odbcinst.ini of the test's own.)
#include "tests/db/db_test_support.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace pelto::dbtest {
namespace {

namespace fs = std::filesystem;

// Every connection string reaches the double.
class DoubleProviders final : public platform::OdbcProviders {
public:
    std::variant<platform::OdbcTarget, Error> translate(TextView /*ado_string*/) override {
        return platform::OdbcTarget{u"DRIVER=" + from_utf8(PELTO_ODBC_DOUBLE) + u";", Text()};
    }
};

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
    DoubleProviders providers;
    platform::Platform platform{machine.platform().registry,
                                machine.platform().profiles,
                                machine.platform().files,
                                machine.platform().shell,
                                machine.platform().processes,
                                machine.platform().ui,
                                providers,
                                machine.platform().log,
                                machine.platform().session};
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

} // namespace
} // namespace pelto::dbtest
