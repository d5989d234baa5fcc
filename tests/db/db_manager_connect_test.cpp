// clsDBMng's life and its connect operations on the SQLite central database, FreeTDS
// against a closed loopback port, an ODBC data source and the Oracle provider.
#include "tests/db/db_test_support.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pelto::dbtest {
namespace {

// A loopback port that nothing listens on: one the system just handed out and took back.
int closed_loopback_port() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "no loopback port";
    }
    close(s);
    return ntohs(address.sin_port);
}

// A SQL Server that accepts every connection on a loopback port and never says a word.
// It stops by itself when the test is done, or after a minute at the latest.
class SilentServer {
public:
    SilentServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "no loopback listener";
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::jthread([this](const std::stop_token& stop) { serve(stop); });
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    ~SilentServer() {
        thread_.request_stop();
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

private:
    void serve(const std::stop_token& stop) {
        std::vector<int> accepted; // held open, never written to
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < end) {
            pollfd waiting{listener_, POLLIN, 0};
            if (poll(&waiting, 1, 50) > 0) {
                const int client = accept(listener_, nullptr, nullptr);
                if (client >= 0) {
                    accepted.push_back(client);
                }
            }
        }
        for (const int client : accepted) {
            close(client);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::jthread thread_;
};

const Text kCentralString = u"Provider       ='SQLOLEDB';  Data Source    ='PELTOCENTRAL';   "
                            u"Initial Catalog='Holmaview'; User Id        ='sa';     "
                            u"Password       ='$63TirMox47@$'     ";

class DbManagerConnectTest : public ::testing::Test {
protected:
    TestMachine machine;
    CentralDb central{Backend::SQLite, machine};
    clsDBMng db{machine.platform()};
};

TEST_F(DbManagerConnectTest, ANewManagerHoldsItsCreationValues) {
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_EQ(db.DBConnectionTimeout, 10);
    EXPECT_EQ(db.ErrorDesc, u"");
    EXPECT_FALSE(db.sCommand || db.sParameter || db.sRecordset || db.mConnect || db.mCommand ||
                 db.mRecordset || db.sConnect);
    EXPECT_EQ(db.DBConnectString, u"");
    EXPECT_EQ(db.ServerDisConnect(), 1); // never connected: nothing to do
    db.ErrorDesc = u"x";
    db.DatabaseName = u"kept";
    db.ErrorClear();
    EXPECT_EQ(db.ErrorDesc, u"");
    EXPECT_EQ(db.DatabaseName, u"kept");
}

TEST_F(DbManagerConnectTest, LocalDataFileLiesBesideTheProgramFolderAsBuilt) {
    machine.set_program_folder(u"C:\\App");
    EXPECT_EQ(db.LocalDataFilePath(), u"C:\\App\\..\\LocalData\\HolmaView.mdb");
    machine.set_program_folder(u"C:\\");
    EXPECT_EQ(db.LocalDataFilePath(), u"C:\\\\..\\LocalData\\HolmaView.mdb");
}

TEST_F(DbManagerConnectTest, ConnectServerDBBuildsTheExactStringAndRecordsTheLogin) {
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword),
                                 u"Holmaview"),
              1);
    EXPECT_EQ(db.DBConnectString, kCentralString);
    EXPECT_TRUE(db.IsServerConnect());
    EXPECT_EQ(db.ServerName, u"PELTOCENTRAL");
    EXPECT_EQ(db.ServerID, u"sa");
    EXPECT_EQ(db.ServerPWD, u"$63TirMox47@$");
    EXPECT_EQ(db.DatabaseName, u"Holmaview");
    EXPECT_EQ(db.sConnect->CursorLocation(), ado::adUseClient);
    EXPECT_EQ(db.sConnect->ConnectionTimeout(), 10);
    EXPECT_EQ(db.sConnect->CommandTimeout(), 300);
    ASSERT_TRUE(db.sCommand);
    EXPECT_EQ(db.sCommand->ActiveConnection(), db.sConnect.get());
    EXPECT_EQ(machine.ui().pointer, (std::vector<bool>{true, false}));
    EXPECT_TRUE(machine.ui().messages.empty());
    for (const auto& line : machine.log().lines()) {
        EXPECT_EQ(line.find("63TirMox47"), std::string::npos) << "password in the log: " << line;
    }

    // Omitted catalog: nothing between the apostrophes, the login's default database.
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword)),
              1);
    EXPECT_TRUE(contains(db.DBConnectString, u"Initial Catalog=''; User Id"));
    EXPECT_EQ(db.DatabaseName, u"");
}

TEST_F(DbManagerConnectTest, TheBackupDatabaseGetsOneSecondOtherNamesTheTimeoutField) {
    db.DBConnectionTimeout = 4;
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword),
                                 u"HolmaViewBK"),
              1);
    EXPECT_EQ(db.sConnect->ConnectionTimeout(), 1);
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword),
                                 u"holmaviewbk"),
              1);
    EXPECT_EQ(db.sConnect->ConnectionTimeout(), 4);
}

TEST_F(DbManagerConnectTest, AServerThatNeverAnswersIsGivenUpAfterTheConnectionTimeOut) {
    const SilentServer server;
    machine.set_alias(u"SILENTSQL",
                      u"DBMSSOCN,127.0.0.1," + from_utf8(std::to_string(server.port())));
    const auto seconds_to_fail = [&](const Text& catalog) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(db.ConnectServerDB(Text(u"SILENTSQL"), Text(u"sa"), Text(u"x"), catalog), 0);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    db.DBConnectionTimeout = 3;
    EXPECT_NEAR(seconds_to_fail(u"HolmaViewBK"), 1.0, 0.5); // the backup catalog: one second
    EXPECT_NEAR(seconds_to_fail(u"Holmaview"), 3.0, 0.5);   // any other: the field's value
    EXPECT_FALSE(db.IsServerConnect());
}

TEST_F(DbManagerConnectTest, ARefusedLoginLeavesTheNewStringAndReconnectRetriesIt) {
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword),
                                 u"Holmaview"),
              1);
    ASSERT_EQ(
        db.ConnectServerDB(Text(u"127.0.0.12,4181"), Text(u"reader"), Text(u"wrong"), u"Holmaview"),
        0);
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_TRUE(contains(db.DBConnectString, u"User Id        ='reader'"));
    EXPECT_EQ(db.ServerID, u"sa"); // written only after a successful opening
    EXPECT_EQ(db.ErrorDesc, u"");
    EXPECT_TRUE(machine.ui().messages.empty());
    EXPECT_EQ(machine.ui().pointer.back(), false);

    // The server learns the password; the retry goes to the failed target, not the first.
    machine.write_servers_ini(
        "[127.0.0.12,4181]\nengine=sqlite\ndatabase=central/holmaview.sqlite\n"
        "catalogs=Holmaview\nlogin=reader:wrong\n");
    db.ConnectServerRe();
    EXPECT_TRUE(db.IsServerConnect());
    EXPECT_EQ(db.ServerID, u"sa");
}

TEST_F(DbManagerConnectTest, EventsKeepTheConnectedMarkInStepWithTheConnection) {
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword)),
              1);
    const auto first = db.sConnect.get();
    first->Close(); // the Disconnect event clears the mark
    EXPECT_FALSE(db.IsServerConnect());

    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword)),
              1);
    const auto second = db.sConnect.get();
    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword)),
              1);
    // The replaced connection no longer reports to the manager.
    second->Close();
    EXPECT_TRUE(db.IsServerConnect());
    // A failed opening reports its error status and leaves the mark cleared.
    EXPECT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(u"bad")), 0);
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_EQ(db.ServerDisConnect(), 1);
    EXPECT_FALSE(db.sConnect);
}

TEST_F(DbManagerConnectTest, FreeTdsAgainstAClosedPortFailsFastWithEFail) {
    const int port = closed_loopback_port();
    machine.set_alias(u"LOCALSQL", u"DBMSSOCN,127.0.0.1," + from_utf8(std::to_string(port)));
    EXPECT_EQ(db.ConnectServerDB(Text(u"LOCALSQL"), Text(u"sa"), Text(u"x"), u"Main"), 0);
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_EQ(machine.ui().pointer, (std::vector<bool>{true, false}));
    // What the connection itself reports.
    ado::Connection direct(machine.odbc());
    direct.ConnectionString(db.DBConnectString);
    direct.ConnectionTimeout(2);
    try {
        direct.Open();
        ADD_FAILURE() << "opened a closed port";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), adoerr::kFail);
        EXPECT_EQ(e.error().source, u"Microsoft OLE DB Provider for SQL Server");
        EXPECT_FALSE(e.error().description.empty());
    }

    // The statement operations try the failed target again, then fail their own way.
    EXPECT_EQ(db.RunSQL(u"SELECT 1"), -1000);
    const auto records = db.GetRecordSet(u"SELECT 1");
    ASSERT_TRUE(records);
    EXPECT_EQ(records->State(), ado::adStateClosed);
    ASSERT_EQ(machine.ui().messages.size(), 1U);
    EXPECT_EQ(machine.ui().messages[0].text, u"데이터 연결을 확인해주세요.");
}

TEST_F(DbManagerConnectTest, ReconnectGoesToTheLastServerNotToAFileOrDataSource) {
    // No server connection yet: the reconnection fails on the empty string.
    EXPECT_EQ(db.ConnectServerDSN(u"NoSuchDsn"), 0);
    db.ConnectServerRe();
    EXPECT_FALSE(db.IsServerConnect());

    ASSERT_EQ(db.ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword),
                                 u"Holmaview"),
              1);
    EXPECT_EQ(db.ConnectServerMDB(Text(u"C:\\LocalData\\Missing.mdb")), 0);
    EXPECT_EQ(db.DBConnectString, kCentralString); // the Jet string is not kept
    db.ConnectServerRe();
    EXPECT_TRUE(db.IsServerConnect());
    EXPECT_EQ(db.DatabaseName, u"Holmaview");
}

TEST_F(DbManagerConnectTest, DataSourceNameFromAnOdbcIniTheTestWrites) {
    central.admin().run(u"CREATE TABLE 메모(번호 INTEGER, 내용 TEXT)");
    central.admin().run(u"INSERT INTO 메모 VALUES (1, '첫 줄')");
    const auto ini = machine.root() / "odbc.ini";
    std::ofstream(ini) << "[PeltoDSN]\nDriver = SQLite3\nDatabase = "
                       << (machine.root() / "central" / "holmaview.sqlite").string() << "\n";
    const ScopedEnv odbc_ini("ODBCINI", ini.string());
    ASSERT_EQ(db.ConnectServerDSN(u"PeltoDSN"), 1);
    EXPECT_EQ(db.DatabaseName, u"PeltoDSN");
    EXPECT_TRUE(db.IsServerConnect());
    EXPECT_EQ(db.DBConnectString, u""); // untouched by data source connections
    const auto records = db.GetRecordSet(u"SELECT 내용 FROM 메모");
    ASSERT_TRUE(records);
    ASSERT_EQ(records->RecordCount(), 1);
    EXPECT_EQ(records->Fields(u"내용").Value(), Variant(u"첫 줄"));
}

TEST_F(DbManagerConnectTest, OracleWithoutADriverFailsClearlyAfterWritingItsString) {
    EXPECT_EQ(db.ConnectServerORACLE(Text(u"ORCL"), Text(u"scott"), Text(u"tiger")), 0);
    EXPECT_EQ(db.DBConnectString,
              u"Provider=Microsoft OLE DB Provider for Oracle;Data Source    ='ORCL';   "
              u"Persist Security Info=False;         User Id        ='scott';       "
              u"Password       ='tiger'       ");
    EXPECT_EQ(db.ServerName, u"");
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_EQ(machine.ui().pointer, (std::vector<bool>{true, false}));
    bool logged = false;
    for (const auto& line : machine.log().lines()) {
        logged = logged || line.find("Oracle") != std::string::npos;
    }
    EXPECT_TRUE(logged);
}

TEST_F(DbManagerConnectTest, NullArgumentsFailAsAConversionWould) {
    EXPECT_EQ(db.ConnectServerDB(Variant(Null{}), Text(u"sa"), Text(u"x")), 0);
    EXPECT_EQ(db.DBConnectString, u"");
    EXPECT_TRUE(db.sConnect); // the new connection was put in place before the failure
}

TEST_F(DbManagerConnectTest, DestroyingAConnectedManagerDisconnects) {
    auto owned = std::make_unique<clsDBMng>(machine.platform());
    ASSERT_EQ(
        owned->ConnectServerDB(Text(CentralDb::kAlias), Text(u"sa"), Text(CentralDb::kPassword)),
        1);
    const std::shared_ptr<ado::Connection> kept = owned->sConnect.get();
    owned.reset();
    EXPECT_EQ(kept->State(), ado::adStateClosed);
}

} // namespace
} // namespace pelto::dbtest
