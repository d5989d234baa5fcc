// The manager's transactions and its shared parameterised command on every backend;
// output and return values through a PostgreSQL function.
#include "tests/db/backend_fixture.h"

namespace pelto::dbtest {
namespace {

class TransactionsTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        central->admin().run(u"CREATE TABLE 기록 (번호 INTEGER PRIMARY KEY)");
    }
    std::vector<Text> numbers() { return column(u"SELECT 번호 FROM 기록 ORDER BY 번호"); }
};
PELTO_ON_EVERY_BACKEND(TransactionsTest);

TEST_P(TransactionsTest, RolledBackStatementsAreGoneAndCommittedOnesStay) {
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (1)"), 1);
    db.fnRollBackTrans();
    EXPECT_TRUE(numbers().empty());

    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (2)"), 1);
    db.fnCommitTrans();
    EXPECT_EQ(numbers(), (std::vector<Text>{u"2"}));
    // Commit and rollback without a begun transaction do nothing.
    db.fnCommitTrans();
    db.fnRollBackTrans();
    EXPECT_EQ(numbers(), (std::vector<Text>{u"2"}));
}

TEST_P(TransactionsTest, ASecondBeginDiscardsTheFirstTransactionAndSaysSo) {
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (10)"), 1);
    db.fnBeginTrans();
    EXPECT_EQ(machine.log().lines().back(),
              "clsDBMng: fnBeginTrans: the transaction begun by the previous fnBeginTrans was "
              "still open; its statements were rolled back");
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (11)"), 1);
    db.fnCommitTrans();
    EXPECT_EQ(numbers(), (std::vector<Text>{u"11"}));
}

TEST_P(TransactionsTest, CommitWithoutBeginMakesNoCallOnTheConnection) {
    // A transaction the manager did not begin stays the caller's to end.
    db.sConnect->BeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (20)"), 1);
    db.fnCommitTrans();
    db.sConnect->RollbackTrans();
    EXPECT_TRUE(numbers().empty());
}

TEST_P(TransactionsTest, DisconnectingRollsBackAndReconnectingKeepsTheFlag) {
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (30)"), 1);
    ASSERT_EQ(db.ServerDisConnect(), 1);
    EXPECT_TRUE(numbers().empty());
    db.fnCommitTrans(); // nothing open any more: no call, no failure
    ASSERT_EQ(connect(), 1);

    // Reconnecting while the manager's transaction is open: the flag stays, the commit
    // reaches a connection without a transaction and fails quietly.
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (31)"), 1);
    ASSERT_EQ(connect(), 1);
    db.fnCommitTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (32)"), 1); // autocommit on the new connection
    // The next begin rolls back in vain, then begins normally.
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (33)"), 1);
    db.fnCommitTrans();
    EXPECT_EQ(numbers(), (std::vector<Text>{u"32", u"33"}));
}

TEST_P(TransactionsTest, RunSqlTransInsideTheCallersTransactionLeavesItAsItWas) {
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (50)"), 1);
    // One transaction per connection: RunSQLTrans cannot begin its own and fails.
    EXPECT_EQ(db.RunSQLTrans({u"INSERT INTO 기록 VALUES (51)"}), -1000);
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (52)"), 1);
    db.fnCommitTrans();
    EXPECT_EQ(numbers(), (std::vector<Text>{u"50", u"52"}));
    // The manager's transaction is over: the next statements commit on their own.
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (53)"), 1);
    db.fnRollBackTrans();
    EXPECT_EQ(numbers(), (std::vector<Text>{u"50", u"52", u"53"}));
}

TEST_P(TransactionsTest, AConnectionGoneInsideTheTransactionEndsItAndIsNotReopenedBehindIt) {
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (60)"), 1);
    // The main connection is replaced by one that never opened.
    ASSERT_EQ(db.ConnectServerMDB(Text(u"C:\\없는\\파일.mdb")), 0);
    EXPECT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (61)"), -1000);
    EXPECT_FALSE(db.IsServerConnect());
    db.fnCommitTrans();
    EXPECT_TRUE(contains(from_utf8(machine.log().lines().back()), u"fnCommitTrans failed"))
        << machine.log().lines().back();
    EXPECT_TRUE(numbers().empty());
    // The transaction is ended: the next statement reconnects as before.
    EXPECT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (62)"), 1);
    EXPECT_EQ(numbers(), (std::vector<Text>{u"62"}));
}

TEST_P(TransactionsTest, BeginWithoutAConnectionFailsQuietly) {
    ASSERT_EQ(db.ServerDisConnect(), 1);
    db.fnBeginTrans();
    db.fnCommitTrans();
    ASSERT_EQ(connect(), 1);
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (40)"), 1);
    EXPECT_EQ(numbers(), (std::vector<Text>{u"40"}));
}

class CommandsTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        central->admin().run(u"CREATE TABLE 환자 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(50), "
                             u"금액 DECIMAL(8,2), 방문 TIMESTAMP, 비율 DECIMAL(20,7))");
    }
};
PELTO_ON_EVERY_BACKEND(CommandsTest);

TEST_P(CommandsTest, ParametersOfEveryTypeReachTheirMarkersInOrder) {
    ASSERT_EQ(db.CommandAppendPara(Text(u"번호"), int32_t{7}, 1), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"이름"), Text(u"홍길동"), 0), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"금액"), Text(u"1234.5"), 2), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"방문"), Date::from_parts(2024, 3, 5, 14, 7, 9), 3), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"비율"), Text(u"0.1234567"), 4), 0);
    EXPECT_EQ(db.sParameter->Name(), u"비율");
    EXPECT_EQ(db.sParameter->Precision(), 20);
    EXPECT_EQ(db.sParameter->NumericScale(), 7);
    EXPECT_EQ(db.CommandExcute(u"INSERT INTO 환자 VALUES (?, ?, ?, ?, ?)"), 1);
    EXPECT_EQ(db.sCommand->Parameters().Count(), 0); // cleared by default

    const auto records = db.GetRecordSet(u"SELECT * FROM 환자");
    ASSERT_TRUE(records);
    ASSERT_EQ(records->RecordCount(), 1);
    EXPECT_EQ(records->Fields(u"번호").Value().to_long(), 7);
    EXPECT_EQ(records->Fields(u"이름").Value(), Variant(u"홍길동"));
    EXPECT_DOUBLE_EQ(records->Fields(u"금액").Value().to_double(), 1234.5);
    EXPECT_DOUBLE_EQ(records->Fields(u"비율").Value().to_double(), 0.1234567);
    const Date::Parts visit = records->Fields(u"방문").Value().to_date().parts();
    EXPECT_EQ(visit.year, 2024);
    EXPECT_EQ(visit.day, 5);
    EXPECT_EQ(visit.minute, 7);
}

TEST_P(CommandsTest, ParametersAreFoundByNameAndTheSizeRulesApply) {
    ASSERT_EQ(db.CommandAppendPara(Text(u"빈"), Text(u"")), 0);
    EXPECT_EQ(db.sParameter->Type(), ado::adVarWChar);
    EXPECT_EQ(db.sParameter->Size(), 1);
    ASSERT_EQ(db.CommandAppendPara(Text(u"셋"), Text(u"abc")), 0);
    EXPECT_EQ(db.sParameter->Size(), 3);
    ASSERT_EQ(db.CommandAppendPara(Text(u"오십"), Text(u"abc"), 0, 1, 50), 0);
    EXPECT_EQ(db.sParameter->Size(), 50);
    ASSERT_EQ(db.CommandAppendPara(Text(u"정수"), int32_t{5}, 1, 1, 50), 0);
    EXPECT_EQ(db.sParameter->Size(), 0); // the size is only for text

    // The same name again only replaces the value.
    ASSERT_EQ(db.CommandAppendPara(Text(u"셋"), Text(u"a much longer text"), 1, 2, 9), 0);
    EXPECT_EQ(db.sCommand->Parameters().Count(), 4);
    EXPECT_EQ(db.sParameter->Value(), Variant(u"a much longer text"));
    EXPECT_EQ(db.sParameter->Type(), ado::adVarWChar);
    EXPECT_EQ(db.sParameter->Size(), 3);
    EXPECT_EQ(db.GetParameter(Text(u"SET")), nullptr);
    EXPECT_EQ(db.GetParameter(Text(u"셋")), db.sParameter);
    EXPECT_EQ(db.GetParameter(int32_t{0})->Name(), u"빈");
    EXPECT_EQ(db.GetParameter(Text(u"없음")), nullptr);

    // A new text parameter whose value is Null has no length: a failure, nothing added.
    EXPECT_EQ(db.CommandAppendPara(Text(u"널"), Variant(Null{})), -1000);
    EXPECT_EQ(db.sCommand->Parameters().Count(), 4);
    EXPECT_EQ(db.ErrorDesc, u"");

    db.CommandParaClear();
    EXPECT_EQ(db.sCommand->Parameters().Count(), 0);
    db.CommandParaClear(); // nothing to clear
}

TEST_P(CommandsTest, ParaClearFalseKeepsTheParametersAndAnEmptyTextRerunsTheStatement) {
    ASSERT_EQ(db.CommandAppendPara(Text(u"번호"), int32_t{1}, 1), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"이름"), Text(u"가")), 0);
    ASSERT_EQ(db.CommandExcute(u"INSERT INTO 환자 (번호, 이름) VALUES (?, ?)", false), 1);
    EXPECT_EQ(db.sCommand->Parameters().Count(), 2);
    ASSERT_EQ(db.CommandAppendPara(Text(u"번호"), int32_t{2}, 1), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"이름"), Text(u"나")), 0);
    EXPECT_EQ(db.CommandExcute(), 1); // the text of the previous call
    EXPECT_EQ(db.sCommand->Parameters().Count(), 0);
    EXPECT_EQ(column(u"SELECT 이름 FROM 환자 ORDER BY 번호"), (std::vector<Text>{u"가", u"나"}));

    ASSERT_EQ(db.CommandAppendPara(Text(u"기준"), int32_t{0}, 1), 0);
    EXPECT_EQ(db.CommandExcute(u"UPDATE 환자 SET 금액 = 10 WHERE 번호 > ?"), 2);
}

TEST_P(CommandsTest, AFailedExecutionDescribesItselfAndAlwaysClearsTheParameters) {
    ASSERT_EQ(db.CommandAppendPara(Text(u"번호"), int32_t{1}, 1), 0);
    EXPECT_EQ(db.CommandExcute(u"INSERT INTO 없는표 VALUES (?)", false), -1000);
    EXPECT_TRUE(db.ErrorDesc.starts_with(u"[clsDBMng/CommandExcute] -2147217"))
        << to_utf8(db.ErrorDesc);
    EXPECT_TRUE(db.ErrorDesc.ends_with(u"#INSERT INTO 없는표 VALUES (?)"));
    EXPECT_EQ(db.sCommand->Parameters().Count(), 0);

    // A parameter type the manager does not know becomes the empty type, which the
    // execution refuses with an error, not a crash.
    ASSERT_EQ(db.CommandAppendPara(Text(u"이상"), int32_t{1}, 7), 0);
    EXPECT_EQ(db.sParameter->Type(), ado::adEmpty);
    EXPECT_EQ(db.CommandExcute(u"INSERT INTO 환자 (번호) VALUES (?)"), -1000);
    EXPECT_EQ(db.ErrorDesc,
              u"[clsDBMng/CommandExcute] 3708-ADODB.Command/Parameter object is improperly "
              u"defined. Inconsistent or incomplete information was provided.#INSERT INTO 환자 "
              u"(번호) VALUES (?)");
    ASSERT_EQ(db.CommandAppendPara(Text(u"객체"), int32_t{1}, 9), 0);
    EXPECT_EQ(db.sParameter->Type(), ado::adIUnknown);
    EXPECT_EQ(db.CommandExcute(), -1000);
    EXPECT_TRUE(column(u"SELECT 번호 FROM 환자").empty());

    // Without a command the failure text cannot be built: that reaches the caller.
    ASSERT_EQ(db.ServerDisConnect(), 1);
    EXPECT_THROW(db.CommandExcute(u"SELECT 1"), VbError);
    EXPECT_THROW(db.CommandParaClear(), VbError);
    EXPECT_EQ(db.CommandAppendPara(Text(u"번호"), int32_t{1}, 1), -1000);
}

TEST_P(CommandsTest, CommandExcuteRstHandsBackTheRows) {
    central->admin().run(u"INSERT INTO 환자 (번호, 이름) VALUES (1, '가'), (2, '나'), (3, '다')");
    ASSERT_EQ(db.CommandAppendPara(Text(u"하한"), int32_t{2}, 1), 0);
    std::shared_ptr<ado::Recordset> rows;
    EXPECT_EQ(db.CommandExcuteRst(u"SELECT 이름 FROM 환자 WHERE 번호 >= ? ORDER BY 번호", rows),
              -1);
    ASSERT_TRUE(rows);
    std::vector<Text> names;
    while (!rows->Eof()) {
        names.push_back(rows->Fields(0).Value().to_text());
        rows->MoveNext();
    }
    EXPECT_EQ(names, (std::vector<Text>{u"나", u"다"}));
    EXPECT_EQ(db.sCommand->Parameters().Count(), 0);
    // The manager's connection is client-side: a static record set with an exact count,
    // read to its end already, that can go back to its first row.
    EXPECT_EQ(rows->CursorLocation(), ado::adUseClient);
    EXPECT_EQ(rows->CursorType(), ado::adOpenStatic);
    EXPECT_EQ(rows->RecordCount(), 2);
    rows->MoveFirst();
    EXPECT_EQ(rows->Fields(0).Value(), Variant(u"나"));

    std::shared_ptr<ado::Recordset> kept = rows;
    ASSERT_EQ(db.CommandAppendPara(Text(u"하한"), int32_t{2}, 1), 0);
    EXPECT_EQ(db.CommandExcuteRst(u"SELECT * FROM 없는표 WHERE 번호 >= ?", rows, false), -1000);
    EXPECT_EQ(rows, kept);
    EXPECT_EQ(db.sCommand->Parameters().Count(), 0);
    EXPECT_EQ(db.ErrorDesc, u""); // only CommandExcute records its failure
}

TEST_P(CommandsTest, GetCommandGivesTheCallerACommandOfItsOwn) {
    const auto mine = db.GetCommand(u"SELECT COUNT(*) FROM 환자 WHERE 번호 > ?");
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->CommandType(), ado::adCmdText);
    EXPECT_EQ(mine->ActiveConnection(), db.sConnect.get());
    EXPECT_NE(mine, db.sCommand);
    EXPECT_EQ(db.sCommand->CommandText(), u"");
    mine->Parameters().Append(
        mine->CreateParameter(u"p", ado::adInteger, ado::adParamInput, 0, int32_t{0}));
    const auto count = mine->Execute();
    ASSERT_TRUE(count);
    EXPECT_EQ(count->Fields(0).Value().to_long(), 0);
    EXPECT_EQ(db.GetCommand(u"x", ado::adCmdStoredProc)->CommandType(), ado::adCmdStoredProc);
}

// --- PostgreSQL: output and return values of a function ---

class OutputParametersTest : public BackendTest {};
INSTANTIATE_TEST_SUITE_P(Backends, OutputParametersTest, ::testing::Values(Backend::PostgreSQL),
                         backend_test_name);

TEST_P(OutputParametersTest, ReturnAndOutputValuesComeBackIntoTheirParameters) {
    central->admin().run(
        u"CREATE FUNCTION 두배(a integer) RETURNS integer AS 'SELECT a * 2' LANGUAGE sql");
    central->admin().run(u"CREATE FUNCTION 인사(이름 text, OUT 답 text) AS "
                         u"$$ SELECT '안녕하세요, ' || 이름 $$ LANGUAGE sql");
    ASSERT_EQ(db.CommandAppendPara(Text(u"결과"), int32_t{0}, 1, ado::adParamReturnValue), 0);
    const auto result = db.sParameter;
    ASSERT_EQ(db.CommandAppendPara(Text(u"a"), int32_t{21}, 1), 0);
    ASSERT_NE(db.CommandExcute(u"{? = call 두배(?)}"), -1000) << to_utf8(db.ErrorDesc);
    EXPECT_EQ(result->Value(), Variant(int32_t{42}));

    ASSERT_EQ(db.CommandAppendPara(Text(u"이름"), Text(u"길동")), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"답"), Text(u""), 0, ado::adParamOutput, 40), 0);
    const auto answer = db.sParameter;
    ASSERT_NE(db.CommandExcute(u"{call 인사(?, ?)}", false), -1000) << to_utf8(db.ErrorDesc);
    EXPECT_EQ(answer->Value(), Variant(u"안녕하세요, 길동"));
    EXPECT_EQ(db.GetParameter(Text(u"답"))->Value(), Variant(u"안녕하세요, 길동"));
}

} // namespace
} // namespace pelto::dbtest
