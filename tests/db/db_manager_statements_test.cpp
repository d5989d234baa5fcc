// Statements, record sets, row arrays, RunSQLTrans and GetRecordSet's messages on every
// backend; the dropped connection and the clock on PostgreSQL.
#include "tests/db/backend_fixture.h"

namespace pelto::dbtest {
namespace {

using StatementsTest = BackendTest;
PELTO_ON_EVERY_BACKEND(StatementsTest);

TEST_P(StatementsTest, TheInstitutionLookupReadsKoreanNamesAndCountsRowsExactly) {
    const Text lookup =
        u"SELECT 자동업데이트경로, SQLNAME, SQLUSER, SQLPW, MainDB FROM PL_기관정보 "
        u"WHERE 요양기관코드 = '12345678'";
    const auto records = db.GetRecordSet(lookup, 0, 1, 3);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->State(), ado::adStateOpen);
    EXPECT_EQ(records->RecordCount(), 1);
    EXPECT_EQ(records->Fields(u"자동업데이트경로").Value(),
              Variant(u"\\\\업데이트서버\\펠토\\자동"));
    EXPECT_EQ(records->Fields(u"sqlname").Value(), Variant(u"CLINICSRV")); // names ignore case
    EXPECT_EQ(records->Fields(4).Value(), Variant(u"PeltoMain"));
    EXPECT_TRUE(contains(to_upper(records->Fields(1).Name()), u"SQLNAME"));
    EXPECT_THROW(records->Fields(u"없는열"), VbError);
    EXPECT_TRUE(machine.ui().messages.empty());

    const auto all = db.GetRecordSet(u"SELECT * FROM PL_기관정보 ORDER BY 요양기관코드");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->RecordCount(), 3);
    all->MoveNext();
    all->MoveNext();
    EXPECT_TRUE(all->Fields(u"자동업데이트경로").Value().is_null());
    all->MoveNext();
    EXPECT_TRUE(all->Eof());
    EXPECT_THROW(all->Fields(0).Value(), VbError);

    const auto none = db.GetRecordSet(u"SELECT * FROM PL_기관정보 WHERE 요양기관코드 = 'none'");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->RecordCount(), 0);
    EXPECT_TRUE(none->Eof());
}

TEST_P(StatementsTest, AFailingStatementKeepsTheDriversSqlStateAndNativeCodeUpToTheLog) {
    // SQLite reports a missing table as HY000 with its own code SQLITE_ERROR (1); psqlODBC
    // as 42P01 with its code for an execution error (1).
    const Text state = postgres() ? u"42P01" : u"HY000";
    const int32_t native = 1;
    try {
        db.sConnect->Execute(u"SELECT * FROM 없는표");
        ADD_FAILURE() << "the statement ran";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), adoerr::kInvalidObject);
        EXPECT_EQ(e.error().sql_state, state);
        EXPECT_EQ(e.error().native, native);
    }
    ASSERT_EQ(db.RunSQL(u"SELECT * FROM 없는표"), -1000);
    const std::string suffix =
        "(SQLSTATE " + to_utf8(state) + ", native " + std::to_string(native) + ")";
    ASSERT_FALSE(machine.log().lines().empty());
    const std::string& line = machine.log().lines().back();
    EXPECT_TRUE(line.starts_with("clsDBMng: RunSQL failed: ")) << line;
    EXPECT_TRUE(line.ends_with(suffix)) << line;
}

// A large result is kept in pieces; every row must still come back as its own, in order,
// also after moving back to the first row and when taken as a row array midway.
TEST_P(StatementsTest, AClientSideRecordSetOfManyRowsKeepsEveryRowInPlace) {
    constexpr int32_t kRows = 3000;
    const Text sql =
        u"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        from_utf8(std::to_string(kRows)) +
        u") SELECT x AS n, 'row ' || x AS t, CASE WHEN x % 7 = 0 THEN NULL ELSE x END AS m "
        u"FROM c ORDER BY 1";
    const auto records = db.GetRecordSet(sql);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->State(), ado::adStateOpen) << to_utf8(db.ErrorDesc);
    ASSERT_EQ(records->RecordCount(), kRows);
    const auto expect_row = [&](int32_t x) {
        ASSERT_FALSE(records->Eof()) << x;
        ASSERT_EQ(records->Fields(0).Value().to_long(), x);
        ASSERT_EQ(records->Fields(1).Value().to_text(), u"row " + from_utf8(std::to_string(x)));
        ASSERT_EQ(records->Fields(2).Value().is_null(), x % 7 == 0) << x;
    };
    for (int32_t x = 1; x <= kRows; ++x) {
        expect_row(x);
        records->MoveNext();
    }
    EXPECT_TRUE(records->Eof());
    records->MoveFirst();
    expect_row(1);
    for (int32_t x = 1; x < 1000; ++x) {
        records->MoveNext();
    }
    const Variant rest = records->GetRows();
    ASSERT_TRUE(rest.is_array());
    ASSERT_EQ(rest.array().second_count(), static_cast<size_t>(kRows - 999));
    for (size_t r = 0; r < rest.array().second_count(); ++r) {
        ASSERT_EQ(rest.array().at(0, r).to_long(), static_cast<int32_t>(r) + 1000);
    }
}

TEST_P(StatementsTest, ServerSideRecordSetsStreamForwardOnly) {
    // Asked for a keyset cursor with optimistic locking; it reports what it is.
    const auto records =
        db.GetRecordSet(u"SELECT 요양기관코드 FROM PL_기관정보 ORDER BY 1", 1, 3, 2);
    ASSERT_TRUE(records);
    EXPECT_EQ(records->CursorType(), ado::adOpenForwardOnly);
    EXPECT_EQ(records->LockType(), ado::adLockReadOnly);
    EXPECT_EQ(records->RecordCount(), -1);
    std::vector<Text> codes;
    while (!records->Eof()) {
        codes.push_back(records->Fields(0).Value().to_text());
        records->MoveNext();
    }
    EXPECT_EQ(codes, (std::vector<Text>{u"12345678", u"23456789", u"34567890"}));
    EXPECT_THROW(records->MoveFirst(), VbError);
}

TEST_P(StatementsTest, GetRowsGivesFieldByRowArraysAndAnEmptyTextForNoRows) {
    Variant rows = Text(u"before");
    ASSERT_TRUE(db.fnGetRows(u"SELECT 요양기관코드, SQLNAME, MainDB FROM PL_기관정보 "
                             u"WHERE 요양기관코드 < '30000000' ORDER BY 요양기관코드",
                             rows));
    ASSERT_TRUE(rows.is_array());
    const Array2D& array = rows.array();
    EXPECT_EQ(array.first_count(), 3U);
    EXPECT_EQ(array.second_count(), 2U);
    EXPECT_EQ(array.at(0, 0), Variant(u"12345678"));
    EXPECT_EQ(array.at(2, 0), Variant(u"PeltoMain"));
    EXPECT_EQ(array.at(1, 1), Variant(u"S2"));
    EXPECT_FALSE(db.sRecordset);

    ASSERT_TRUE(db.fnGetRows(u"SELECT 요양기관코드 FROM PL_기관정보 WHERE 1 = 0", rows));
    EXPECT_EQ(rows, Variant(u""));
    EXPECT_FALSE(db.sRecordset);

    rows = Text(u"kept");
    EXPECT_FALSE(db.fnGetRows(u"SELECT nothing FROM nowhere", rows));
    EXPECT_EQ(rows, Variant(u"kept"));
    EXPECT_FALSE(db.sRecordset);
    EXPECT_TRUE(machine.ui().messages.empty());
}

TEST_P(StatementsTest, RunSqlAndExecuteReportTheirResults) {
    EXPECT_EQ(db.RunSQL(u"UPDATE PL_기관정보 SET SQLPW = 'X' WHERE 요양기관코드 = '12345678'"), 1);
    EXPECT_EQ(column(u"SELECT SQLPW FROM PL_기관정보 WHERE 요양기관코드 = '12345678'"),
              (std::vector<Text>{u"X"}));
    EXPECT_EQ(db.RunSQL(u"UPDATE nowhere SET x = 1"), -1000);

    central->admin().run(u"CREATE TABLE counts (n INTEGER)");
    central->admin().run(u"INSERT INTO counts VALUES (1), (2), (3), (4), (5), (6)");
    int32_t affected = -7;
    Text description = u"untouched";
    EXPECT_TRUE(db.fnExecute(u"UPDATE counts SET n = n + 10 WHERE n <= 5", affected, description));
    EXPECT_EQ(affected, 5);
    EXPECT_EQ(description, u"untouched");
    EXPECT_FALSE(db.fnExecute(u"UPDATE nowhere SET x = 1", affected, description));
    EXPECT_FALSE(description.empty());
    EXPECT_NE(description, u"untouched");

    // Not connected: RunSQL reconnects with the stored string first.
    ASSERT_EQ(db.ServerDisConnect(), 1);
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_EQ(db.RunSQL(u"DELETE FROM counts WHERE n = 6"), 1);
    EXPECT_TRUE(db.IsServerConnect());
    EXPECT_EQ(column(u"SELECT COUNT(*) FROM counts"), (std::vector<Text>{u"5"}));
}

TEST_P(StatementsTest, RunSqlTransKeepsAllOrNothing) {
    central->admin().run(u"CREATE TABLE 작업 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20))");
    EXPECT_EQ(db.RunSQLTrans({u"INSERT INTO 작업 VALUES (1, '하나')",
                              u"INSERT INTO 작업 VALUES (2, '둘')",
                              u"UPDATE 작업 SET 이름 = '셋' WHERE 번호 = 2"}),
              1);
    EXPECT_EQ(column(u"SELECT 이름 FROM 작업 ORDER BY 번호"), (std::vector<Text>{u"하나", u"셋"}));

    // The second of three fails: the first is undone, the third never runs.
    EXPECT_EQ(db.RunSQLTrans({u"INSERT INTO 작업 VALUES (3, '넷')",
                              u"INSERT INTO 없는표 VALUES (1)", u"DELETE FROM 작업"}),
              -1000);
    EXPECT_EQ(column(u"SELECT 번호 FROM 작업 ORDER BY 번호"), (std::vector<Text>{u"1", u"2"}));
    // The connection is usable and back in autocommit afterwards.
    EXPECT_EQ(db.RunSQL(u"INSERT INTO 작업 VALUES (4, '다섯')"), 1);
    EXPECT_EQ(column(u"SELECT COUNT(*) FROM 작업"), (std::vector<Text>{u"3"}));

    EXPECT_EQ(db.RunSQLTrans({}), 1);
    EXPECT_EQ(db.RunSQLTrans(std::vector<Variant>{Variant(u"DELETE FROM 작업 WHERE 번호 = 4")}), 1);
    EXPECT_EQ(machine.ui().pointer.back(), false);

    // Without a connection even the rollback fails, and that reaches the caller.
    ASSERT_EQ(db.ServerDisConnect(), 1);
    EXPECT_THROW(db.RunSQLTrans({u"DELETE FROM 작업"}), VbError);
    EXPECT_EQ(column(u"SELECT COUNT(*) FROM 작업"), (std::vector<Text>{u"2"}));
}

TEST_P(StatementsTest, ABadStatementShowsOneMessageAndGivesAClosedRecordSet) {
    const auto records = db.GetRecordSet(u"SELEC 요양기관코드 FROM PL_기관정보");
    ASSERT_TRUE(records); // closed, not null
    EXPECT_EQ(records->State(), ado::adStateClosed);
    EXPECT_THROW(records->RecordCount(), VbError);
    ASSERT_EQ(machine.ui().messages.size(), 1U);
    EXPECT_EQ(machine.ui().messages[0].text, u"데이터 연결을 확인해주세요.");
    EXPECT_EQ(machine.ui().messages[0].icon, platform::MessageIcon::Critical);
    EXPECT_EQ(machine.ui().messages[0].caption, u"PeltoUserInstall");
    // The failure is kept for the caller that received the closed record set.
    EXPECT_TRUE(db.ErrorDesc.starts_with(u"[clsDBMng/GetRecordSet] -2147217900-"))
        << to_utf8(db.ErrorDesc);
    EXPECT_TRUE(db.ErrorDesc.ends_with(u"#SELEC 요양기관코드 FROM PL_기관정보"));
    EXPECT_TRUE(db.IsServerConnect()); // no reconnection for a statement error

    // A missing table has ADO's own number on every backend.
    const auto missing = db.GetRecordSet(u"SELECT 번호 FROM 없는표");
    EXPECT_TRUE(db.ErrorDesc.starts_with(u"[clsDBMng/GetRecordSet] -2147217865-"))
        << to_utf8(db.ErrorDesc);
    ASSERT_EQ(machine.ui().messages.size(), 2U);
    EXPECT_EQ(machine.ui().messages[1].text, u"데이터 연결을 확인해주세요.");

    // The next call starts clean.
    const auto good = db.GetRecordSet(u"SELECT 1");
    ASSERT_TRUE(good);
    EXPECT_EQ(db.ErrorDesc, u"");
}

TEST_P(StatementsTest, ClockQueriesKeepTheStatementTextTheyRan) {
    if (postgres()) {
        central->admin().run(u"CREATE FUNCTION getdate() RETURNS timestamp(3) AS "
                             u"'SELECT localtimestamp(3)' LANGUAGE sql");
        const Variant now = db.GetSystemDate();
        EXPECT_EQ(db.statement_text(), u"SELECT GETDATE()");
        ASSERT_EQ(now.var_type(), 7) << "a date";
        EXPECT_GT(now.to_date().parts().year, 2000);
        EXPECT_TRUE(machine.ui().messages.empty());
    } else {
        EXPECT_TRUE(db.GetSystemDate().is_empty()); // SQLite has no GETDATE()
        EXPECT_EQ(db.statement_text(), u"SELECT GETDATE()");
        EXPECT_EQ(machine.ui().messages.size(), 1U);
    }
    // Neither test server knows SQL Server's CONVERT style 121.
    EXPECT_EQ(db.GetSystemDateStr(), u"");
    EXPECT_EQ(db.statement_text(), u"select convert(varchar(30), getdate(),121)");
}

// --- PostgreSQL only: batches of several statements ---

class BatchesTest : public BackendTest {};
INSTANTIATE_TEST_SUITE_P(Backends, BatchesTest, ::testing::Values(Backend::PostgreSQL),
                         backend_test_name);

TEST_P(BatchesTest, EveryResultOfABatchIsReadAndTheConnectionIsFreeForTheNextCall) {
    central->admin().run(u"CREATE TABLE 작업 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20))");
    const auto names = [&] { return column(u"SELECT 이름 FROM 작업 ORDER BY 번호"); };
    EXPECT_EQ(db.RunSQL(u"INSERT INTO 작업 VALUES (1, '하나'); SELECT 1; "
                        u"INSERT INTO 작업 VALUES (2, '둘')"),
              1);
    EXPECT_EQ(names(), (std::vector<Text>{u"하나", u"둘"}));
    // The rows of the first result, then the rest of the batch.
    std::shared_ptr<ado::Recordset> rows;
    EXPECT_EQ(db.CommandExcuteRst(u"SELECT 이름 FROM 작업 ORDER BY 번호; "
                                  u"UPDATE 작업 SET 이름 = '셋' WHERE 번호 = 2",
                                  rows),
              -1);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->RecordCount(), 2);
    EXPECT_EQ(names(), (std::vector<Text>{u"하나", u"셋"}));
    EXPECT_EQ(db.RunSQLTrans({u"UPDATE 작업 SET 이름 = '넷' WHERE 번호 = 1; SELECT 2",
                              u"DELETE FROM 작업 WHERE 번호 = 2; SELECT 3; SELECT 4"}),
              1);
    EXPECT_EQ(names(), (std::vector<Text>{u"넷"}));
    // An error in any statement fails the call, and the connection goes on.
    EXPECT_EQ(db.RunSQL(u"UPDATE 작업 SET 이름 = '다섯'; SELECT 1 / 0"), -1000);
    EXPECT_EQ(names(), (std::vector<Text>{u"넷"}));
    const auto after = db.GetRecordSet(u"SELECT 1; SELECT 2");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->Fields(0).Value().to_long(), 1);
    EXPECT_TRUE(machine.ui().messages.empty());
}

// --- PostgreSQL only: a server that ends the session ---

class DroppedConnectionTest : public BackendTest {};
INSTANTIATE_TEST_SUITE_P(Backends, DroppedConnectionTest, ::testing::Values(Backend::PostgreSQL),
                         backend_test_name);

TEST_P(DroppedConnectionTest, GetRecordSetReconnectsAndSaysTheConnectionFailed) {
    ASSERT_TRUE(db.IsServerConnect());
    const auto before = db.sConnect.get();
    central->drop_other_sessions();
    // ADO still believes the connection is open.
    EXPECT_TRUE(db.IsServerConnect());

    const auto records = db.GetRecordSet(u"SELECT SQLNAME FROM PL_기관정보");
    ASSERT_TRUE(records);
    EXPECT_EQ(records->State(), ado::adStateClosed);
    ASSERT_EQ(machine.ui().messages.size(), 1U);
    EXPECT_EQ(machine.ui().messages[0].text, u"데이터 연결 오류 입니다!");
    EXPECT_EQ(machine.ui().messages[0].icon, platform::MessageIcon::Critical);
    EXPECT_TRUE(db.ErrorDesc.starts_with(u"[clsDBMng/GetRecordSet] -2147467259-"))
        << to_utf8(db.ErrorDesc);

    // The reconnection took place: a new connection, and the next call works.
    EXPECT_NE(db.sConnect.get(), before);
    EXPECT_TRUE(db.IsServerConnect());
    const auto again = db.GetRecordSet(u"SELECT SQLNAME FROM PL_기관정보");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->RecordCount(), 3);
    EXPECT_EQ(machine.ui().messages.size(), 1U);
}

TEST_P(DroppedConnectionTest, AnUpdateAfterTheServerEndedTheSessionSaysSoNotThatTheKeyIsMissing) {
    const auto row = db.GetRecordSet(u"SELECT 요양기관코드, SQLPW FROM PL_기관정보 WHERE "
                                     u"요양기관코드 = '12345678'",
                                     0, ado::adLockOptimistic, 3);
    ASSERT_TRUE(row);
    ASSERT_EQ(row->State(), ado::adStateOpen);
    row->Fields(u"SQLPW").Value(Variant(u"Y"));
    central->drop_other_sessions();
    try {
        row->Update();
        ADD_FAILURE() << "the update went through";
    } catch (const VbError& e) {
        // The catalog call that looks for the key fails with the lost session; that
        // failure, not a table without a key, is what the caller learns.
        EXPECT_EQ(e.number(), adoerr::kFail);
        EXPECT_FALSE(e.error().sql_state.empty());
        EXPECT_FALSE(contains(e.error().description, u"key column information"))
            << to_utf8(e.error().description);
    }
}

TEST_P(DroppedConnectionTest, InsideATransactionTheConnectionIsNotReopenedAndTheTransactionEnds) {
    central->admin().run(u"CREATE TABLE 기록 (번호 INTEGER PRIMARY KEY)");
    const auto numbers = [&] { return column(u"SELECT 번호 FROM 기록 ORDER BY 번호"); };
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (1)"), 1);
    const auto before = db.sConnect.get();
    central->drop_other_sessions();
    db.GetRecordSet(u"SELECT 번호 FROM 기록");
    ASSERT_EQ(machine.ui().messages.size(), 1U);
    EXPECT_EQ(machine.ui().messages[0].text, u"데이터 연결 오류 입니다!");
    EXPECT_EQ(db.sConnect.get(), before); // not reopened
    EXPECT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (2)"), -1000);
    db.fnCommitTrans();
    EXPECT_TRUE(contains(from_utf8(machine.log().lines().back()), u"fnCommitTrans failed"));
    EXPECT_TRUE(numbers().empty());

    // Once the caller has ended it, GetRecordSet reconnects as before.
    db.GetRecordSet(u"SELECT 번호 FROM 기록");
    EXPECT_NE(db.sConnect.get(), before);
    EXPECT_EQ(db.RunSQL(u"INSERT INTO 기록 VALUES (3)"), 1);
    EXPECT_EQ(numbers(), (std::vector<Text>{u"3"}));
}

TEST_P(DroppedConnectionTest, RunSqlOnADroppedConnectionFailsQuietly) {
    central->drop_other_sessions();
    EXPECT_EQ(db.RunSQL(u"UPDATE PL_기관정보 SET SQLPW = 'Y'"), -1000);
    EXPECT_TRUE(machine.ui().messages.empty());
    EXPECT_EQ(column(u"SELECT COUNT(*) FROM PL_기관정보 WHERE SQLPW = 'Y'"),
              (std::vector<Text>{u"0"}));
}

} // namespace
} // namespace pelto::dbtest
