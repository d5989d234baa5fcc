// clsDBMng: opening, testing and closing the main connection, the local Jet connection
// and where the local data file lies.
#include "db/cls_db_mng.h"
#include "db/cls_db_mng_trap.h"

namespace pelto {

using dbmng::trap;

namespace {

Text jet_string(const Variant& path) {
    return u"Provider=Microsoft.Jet.OLEDB.4.0; " + Text(u"Data Source=") + path.to_text() + u";";
}

std::string describe(const Error& error) {
    return std::to_string(error.number) + " " + to_utf8(error.source) + ": " +
           to_utf8(error.description);
}

} // namespace

Text clsDBMng::LocalDataFilePath() const {
    return platform_.files.program_folder() + u"\\..\\LocalData\\HolmaView.mdb";
}

bool clsDBMng::IsServerConnect() {
    bool result = false;
    trap([&] {
        ErrorClear();
        if (!sConnect) {
            return;
        }
        const int32_t state = sConnect->State();
        result = mIsConnect && state != ado::adStateClosed;
    });
    return result;
}

int32_t clsDBMng::ServerDisConnect() {
    int32_t result = 0;
    const auto failure = trap([&] {
        ErrorClear();
        if (mInTrans) {
            sConnect->RollbackTrans();
            mInTrans = false;
        }
        if (transaction_lost_) {
            // Its connection is gone; the rollback only ends the connection's count of it.
            trap([&] { sConnect->RollbackTrans(); });
            transaction_lost_ = false;
        }
        if (sConnect && sConnect->State() == ado::adStateOpen) {
            sConnect->Close(); // its Disconnect event clears the connected mark
        }
        sConnect = nullptr;
        sCommand.reset();
        sParameter.reset();
        mRecordset.reset();
        result = 1;
    });
    if (failure) {
        log("ServerDisConnect failed: " + describe(*failure), *failure);
    }
    return result;
}

// The frame of every main connect: the busy pointer, the error state cleared, the
// connected mark down, a new client-side connection in sConnect; then `open` sets the
// connection up, opens it and stores what it reached; then a new shared command and the
// connected mark. A failure keeps what was done before it and puts the default pointer
// back.
template <typename Open> int32_t clsDBMng::connect_main(const char* operation, Open&& open) {
    platform_.ui.set_busy_pointer(true);
    int32_t result = 0;
    const auto failure = trap([&] {
        ErrorClear();
        mIsConnect = false;
        sConnect = new_connection();
        sConnect->CursorLocation(ado::adUseClient);
        open();
        new_main_command();
        platform_.ui.set_busy_pointer(false);
        result = 1;
        mIsConnect = true;
    });
    last_connect_failure_ = failure;
    if (failure) {
        // The hourglass would otherwise stay until the next successful connect.
        platform_.ui.set_busy_pointer(false);
        log(std::string(operation) + " failed: " + describe(*failure), *failure);
    }
    return result;
}

int32_t clsDBMng::ConnectServerDB(const Variant& rServer, const Variant& rID, const Variant& rPWD,
                                  const Text& sDatabase) {
    return connect_main("ConnectServerDB", [&] {
        sConnect->ConnectionString(
            u"Provider       ='" + mProvider + u"';  " + u"Data Source    ='" + rServer.to_text() +
            u"';   " + u"Initial Catalog='" + sDatabase + u"'; " + u"User Id        ='" +
            rID.to_text() + u"';     " + u"Password       ='" + rPWD.to_text() + u"'     ");
        sConnect->ConnectionTimeout(DBConnectionTimeout);
        sConnect->CommandTimeout(300);
        DBConnectString = sConnect->ConnectionString();
        // The backup database is only worth a one-second try.
        if (sDatabase == u"HolmaViewBK") {
            sConnect->ConnectionTimeout(1);
        }
        log("ConnectServerDB: opening server '" + to_utf8(rServer.to_text()) + "', catalog '" +
            to_utf8(sDatabase) + "', login '" + to_utf8(rID.to_text()) + "'");
        sConnect->Open();
        ServerName = rServer.to_text();
        ServerID = rID.to_text();
        ServerPWD = rPWD.to_text();
        DatabaseName = sDatabase;
    });
}

int32_t clsDBMng::ConnectServerMDB(const Variant& mDBPath) {
    return connect_main("ConnectServerMDB", [&] {
        sConnect->ConnectionString(jet_string(mDBPath));
        sConnect->ConnectionTimeout(DBConnectionTimeout);
        sConnect->CommandTimeout(90);
        log("ConnectServerMDB: opening '" + to_utf8(mDBPath.to_text()) + "'");
        sConnect->Open();
        DatabaseName = mDBPath.to_text();
    });
}

int32_t clsDBMng::ConnectServerDSN(const Text& mDSNName) {
    return connect_main("ConnectServerDSN", [&] {
        sConnect->ConnectionString(u"Data Source=" + mDSNName + u";");
        sConnect->ConnectionTimeout(DBConnectionTimeout);
        sConnect->CommandTimeout(90);
        log("ConnectServerDSN: opening data source '" + to_utf8(mDSNName) + "'");
        sConnect->Open();
        DatabaseName = mDSNName;
    });
}

int32_t clsDBMng::ConnectServerORACLE(const Variant& rServer, const Variant& rID,
                                      const Variant& rPWD) {
    return connect_main("ConnectServerORACLE", [&] {
        sConnect->ConnectionString(u"Provider=Microsoft OLE DB Provider for Oracle;" +
                                   Text(u"Data Source    ='") + rServer.to_text() + u"';   " +
                                   u"Persist Security Info=False;         " + u"User Id        ='" +
                                   rID.to_text() + u"';       " + u"Password       ='" +
                                   rPWD.to_text() + u"'       ");
        sConnect->ConnectionTimeout(DBConnectionTimeout);
        sConnect->CommandTimeout(300);
        DBConnectString = sConnect->ConnectionString();
        log("ConnectServerORACLE: opening '" + to_utf8(rServer.to_text()) + "', login '" +
            to_utf8(rID.to_text()) + "'");
        sConnect->Open();
        ServerName = rServer.to_text();
        ServerID = rID.to_text();
        ServerPWD = rPWD.to_text();
    });
}

void clsDBMng::ConnectServerRe() {
    const auto failure = trap([&] {
        ErrorClear();
        mIsConnect = false;
        sConnect = new_connection();
        sConnect->CursorLocation(ado::adUseClient);
        sConnect->ConnectionString(DBConnectString);
        sConnect->ConnectionTimeout(DBConnectionTimeout);
        sConnect->CommandTimeout(300);
        log("ConnectServerRe: reopening the last server connection");
        sConnect->Open();
        new_main_command();
        platform_.ui.set_busy_pointer(false);
        mIsConnect = true;
    });
    if (failure) {
        log("ConnectServerRe failed: " + describe(*failure), *failure);
    }
}

int32_t clsDBMng::ConnectLocalDB(const Variant& mDBPath) {
    int32_t result = 0;
    const auto failure = trap([&] {
        ErrorClear();
        mConnect = new_connection();
        mConnect->CursorLocation(ado::adUseServer);
        mConnect->ConnectionString(jet_string(mDBPath));
        mConnect->ConnectionTimeout(DBConnectionTimeout);
        mConnect->Open();
        mCommand = std::make_shared<ado::Command>();
        mCommand->ActiveConnection(mConnect);
        result = 1;
    });
    if (failure) {
        log("ConnectLocalDB failed: " + describe(*failure), *failure);
    }
    return result;
}

} // namespace pelto
