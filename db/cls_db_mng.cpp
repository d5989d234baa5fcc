// clsDBMng: creation and destruction, the error state, the main connection's events
// and the manager's own transaction.
#include "db/cls_db_mng.h"

#include "db/cls_db_mng_trap.h"

namespace pelto {

using dbmng::trap;

clsDBMng::EventConnection::~EventConnection() {
    if (connection_) {
        connection_->set_events(nullptr);
    }
}

clsDBMng::EventConnection&
clsDBMng::EventConnection::operator=(std::shared_ptr<ado::Connection> connection) {
    // Only the connection held here reports to the manager; the one it replaces is
    // released without being closed (it lives on while a command still refers to it).
    if (connection_) {
        connection_->set_events(nullptr);
    }
    connection_ = std::move(connection);
    if (connection_) {
        connection_->set_events(&sink_);
    }
    return *this;
}

clsDBMng::clsDBMng(platform::Platform& platform) : platform_(platform) {}

clsDBMng::~clsDBMng() {
    // Disconnecting is all there is to do; its result does not matter here and nothing
    // may leave a destructor.
    try {
        ServerDisConnect();
    } catch (...) { // NOLINT(bugprone-empty-catch): a destructor swallows every failure
    }
}

void clsDBMng::ErrorClear() {
    ErrorDesc.clear();
}

void clsDBMng::sConnect_ConnectComplete(const Error* /*pError*/, int32_t& adStatus,
                                        ado::Connection& /*pConnection*/) {
    if (adStatus == ado::adStatusOK) {
        mIsConnect = true;
    }
}

void clsDBMng::sConnect_Disconnect(int32_t& /*adStatus*/, ado::Connection& /*pConnection*/) {
    mIsConnect = false;
}

std::shared_ptr<ado::Connection> clsDBMng::new_connection() const {
    return std::make_shared<ado::Connection>(platform_.odbc);
}

void clsDBMng::new_main_command() {
    sCommand = std::make_shared<ado::Command>();
    sCommand->ActiveConnection(sConnect.get());
}

void clsDBMng::log(const std::string& line) const {
    platform_.log.write("clsDBMng: " + line);
}

void clsDBMng::log(const std::string& line, const Error& failure) const {
    if (failure.sql_state.empty()) {
        log(line);
        return;
    }
    log(line + " (SQLSTATE " + to_utf8(failure.sql_state) + ", native " +
        std::to_string(failure.native) + ")");
}

void clsDBMng::InfoMessage(const Error& pError, ado::Connection& /*pConnection*/) {
    log("a driver failure passed over: " + to_utf8(pError.description), pError);
}

void clsDBMng::refuse_reconnection() {
    throw VbError(adoerr::kFail, u"clsDBMng",
                  u"The connection is gone and a transaction was open on it; it is not reopened "
                  u"until the transaction is ended.");
}

void clsDBMng::end_transaction_on(const Error& failure, const char* operation) {
    if (!mInTrans || failure.number != adoerr::kFail) {
        return;
    }
    mInTrans = false;
    transaction_lost_ = true;
    log(std::string(operation) +
        ": the connection was lost inside the transaction begun by fnBeginTrans; the server "
        "rolled its statements back, and no connection is reopened until it is ended");
}

void clsDBMng::fnBeginTrans() {
    trap([&] {
        if (mInTrans) {
            // Beginning again discards the open transaction: its statements are lost,
            // and the run log says so.
            fnRollBackTrans();
            log(mInTrans ? "fnBeginTrans: the transaction begun by the previous fnBeginTrans "
                           "is still open and could not be rolled back"
                         : "fnBeginTrans: the transaction begun by the previous fnBeginTrans "
                           "was still open; its statements were rolled back");
        } else if (transaction_lost_) {
            fnRollBackTrans();
        }
        sConnect->BeginTrans();
        mInTrans = true;
    });
}

void clsDBMng::fnCommitTrans() {
    trap([&] {
        if (transaction_lost_) {
            transaction_lost_ = false;
            log("fnCommitTrans failed: the transaction was lost with its connection; nothing of "
                "it was committed");
            return;
        }
        if (!mInTrans) {
            return;
        }
        sConnect->CommitTrans();
        mInTrans = false;
    });
}

void clsDBMng::fnRollBackTrans() {
    trap([&] {
        if (transaction_lost_) {
            transaction_lost_ = false;
            log("fnRollBackTrans: the transaction was rolled back when its connection was lost");
            return;
        }
        if (!mInTrans) {
            return;
        }
        sConnect->RollbackTrans();
        mInTrans = false;
    });
}

RecordSetFailureNotice record_set_failure_notice(int32_t number, const Text& error_desc) {
    constexpr const char16_t* kConnectionError = u"데이터 연결 오류 입니다!";
    if (contains(error_desc, u"연결을") || number == adoerr::kFail) {
        return {true, kConnectionError, platform::MessageIcon::Critical};
    }
    if (number == adoerr::kClosedObject) {
        return {false, kConnectionError, platform::MessageIcon::Critical};
    }
    if (!error_desc.empty()) {
        return {false, error_desc, platform::MessageIcon::None};
    }
    return {false, u"데이터 연결을 확인해주세요.", platform::MessageIcon::Critical};
}

Text system_date_digits(const Text& style121) {
    Text digits = replace_all(style121, u"-", u"");
    digits = replace_all(digits, u":", u"");
    digits = replace_all(digits, u".", u"");
    digits = replace_all(digits, u" ", u"");
    return trim(digits);
}

} // namespace pelto
