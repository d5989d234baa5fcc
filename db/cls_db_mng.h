// clsDBMng: the one class through which the program reaches databases. It holds the
// main connection (SQL Server, a Jet file, an ODBC data source or Oracle), a second
// connection to a local Jet file, a shared command with its current parameter, the last
// server login, and one error text. Its operations trap their own failures and answer
// with failure values (0, -1000, -1, false or null); only GetRecordSet shows messages.
#pragma once

#include "core/error.h"
#include "core/variant.h"
#include "db/ado/ado.h"
#include "platform/platform.h"

#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

namespace pelto {

class clsDBMng final : private ado::ConnectionEvents {
public:
    // The main connection's holder: whatever connection is put here is the one whose
    // events reach the manager (assigning moves the subscription).
    class EventConnection {
    public:
        explicit EventConnection(ado::ConnectionEvents& sink) : sink_(sink) {}
        EventConnection(const EventConnection&) = delete;
        EventConnection& operator=(const EventConnection&) = delete;
        ~EventConnection();
        EventConnection& operator=(std::shared_ptr<ado::Connection> connection);
        // VB's error 91 when no connection is held.
        ado::Connection* operator->() const { return &**this; }
        ado::Connection& operator*() const {
            if (!connection_) {
                throw VbError::runtime(vberr::kObjectVariableNotSet);
            }
            return *connection_;
        }
        explicit operator bool() const { return connection_ != nullptr; }
        const std::shared_ptr<ado::Connection>& get() const { return connection_; }

    private:
        ado::ConnectionEvents& sink_;
        std::shared_ptr<ado::Connection> connection_;
    };

    explicit clsDBMng(platform::Platform& platform);
    clsDBMng(const clsDBMng&) = delete;
    clsDBMng& operator=(const clsDBMng&) = delete;
    ~clsDBMng() override;

    // --- public fields, in their published order ---
    Text ErrorDesc;
    std::shared_ptr<ado::Command> sCommand;
    std::shared_ptr<ado::Parameter> sParameter;
    std::shared_ptr<ado::Recordset> sRecordset;
    std::shared_ptr<ado::Connection> mConnect;
    std::shared_ptr<ado::Command> mCommand;
    std::shared_ptr<ado::Recordset> mRecordset;
    Text DatabaseName;
    Text ServerName;
    Text ServerID;
    Text ServerPWD;
    int32_t DBConnectionTimeout = 10;
    Text DBConnectString;

private:
    bool mInTrans = false;
    bool mIsConnect = false;
    Text mProvider = u"SQLOLEDB";
    // The transaction begun by fnBeginTrans ended when its connection was lost. Until the
    // caller ends it (commit, rollback, a new begin, a disconnection) the manager reopens
    // no connection by itself, so that no later statement of the caller commits alone.
    bool transaction_lost_ = false;

public:
    EventConnection sConnect{*this};

    // --- operations, in their published order ---
    void ErrorClear();
    Text LocalDataFilePath() const;
    bool IsServerConnect();
    int32_t ServerDisConnect();
    int32_t ConnectServerDB(const Variant& rServer, const Variant& rID, const Variant& rPWD,
                            const Text& sDatabase = Text());
    int32_t ConnectServerMDB(const Variant& mDBPath);
    int32_t ConnectServerDSN(const Text& mDSNName);
    int32_t ConnectServerORACLE(const Variant& rServer, const Variant& rID, const Variant& rPWD);
    void ConnectServerRe();
    int32_t RunSQLTrans(const std::vector<Variant>& rSQL);
    int32_t RunSQLTrans(std::initializer_list<Variant> rSQL);
    Variant GetSystemDate();
    Text GetSystemDateStr();
    int32_t RunSQL(const Text& rSQL);
    std::shared_ptr<ado::Recordset> GetRecordSet(const Text& rSQL, int32_t rCursorType = 0,
                                                 int32_t rLockType = 1, int32_t rCurorLocation = 3);
    std::shared_ptr<ado::Command> GetCommand(const Text& ComText, int32_t ComType = 1);
    void CommandParaClear();
    std::shared_ptr<ado::Parameter> GetParameter(const Variant& sParaName);
    int32_t CommandAppendPara(const Variant& ParaName, const Variant& ValueData, int32_t pType = 0,
                              int32_t Direction = 1, int32_t pSize = 0);
    int32_t CommandExcute(const Text& rSQL = Text(), bool paraClear = true);
    int32_t CommandExcuteRst(const Text& rSQL, std::shared_ptr<ado::Recordset>& rRst,
                             bool paraClear = true);
    int32_t CommandExcuteRst(const Text& rSQL = Text());
    int32_t ImageDBSave(ado::Field& sFld, const Text& sFileName);
    int32_t ImageDBLoad(ado::Field& sFld, const Text& sFileName, bool sIsUpdate = false);
    int32_t ConnectLocalDB(const Variant& mDBPath);
    int32_t RunSQLm(const Text& rSQL);
    bool fnGetRows(Text rSQL, Variant& rtn_Arr);
    bool fnExecute(Text rSQL, int32_t& rCnt, Text& ErrDesc);
    void fnBeginTrans();
    void fnCommitTrans();
    void fnRollBackTrans();

    // Why the last main connect failed (its number, text and the driver's SQLSTATE), for
    // the run log of a caller that must say so; nullopt after one that succeeded. The
    // manager itself keeps no error number, as it never did.
    const std::optional<Error>& last_connect_failure() const { return last_connect_failure_; }
    // The statement text the clock operations last ran (GetSystemDate, GetSystemDateStr).
    const Text& statement_text() const { return statement_text_; }

private:
    // The two event handlers of sConnect.
    void sConnect_ConnectComplete(const Error* pError, int32_t& adStatus,
                                  ado::Connection& pConnection);
    void sConnect_Disconnect(int32_t& adStatus, ado::Connection& pConnection);
    void ConnectComplete(const Error* pError, int32_t& adStatus,
                         ado::Connection& pConnection) override {
        sConnect_ConnectComplete(pError, adStatus, pConnection);
    }
    void Disconnect(int32_t& adStatus, ado::Connection& pConnection) override {
        sConnect_Disconnect(adStatus, pConnection);
    }
    // A driver failure the main connection went on without goes to the run log.
    void InfoMessage(const Error& pError, ado::Connection& pConnection) override;

    // Whether a statement may reopen the main connection by itself: not while the
    // caller's transaction is open or was lost with its connection.
    bool may_reconnect() const { return !mInTrans && !transaction_lost_; }
    // A statement that finds the main connection gone inside the caller's transaction.
    [[noreturn]] static void refuse_reconnection();
    // A lost connection (E_FAIL) inside the caller's transaction ends that transaction.
    void end_transaction_on(const Error& failure, const char* operation);
    std::shared_ptr<ado::Connection> new_connection() const;
    void new_main_command();
    template <typename Open> int32_t connect_main(const char* operation, Open&& open);
    // What both execute operations do to sCommand: a prepared statement text, the new text
    // when one is given, then the execution with the appended parameters.
    std::shared_ptr<ado::Recordset> execute_main_command(const Text& rSQL, int32_t& affected);
    void log(const std::string& line) const;
    // A failure's line, ending in the driver's SQLSTATE and native code when it has them.
    void log(const std::string& line, const Error& failure) const;

    platform::Platform& platform_;
    Text statement_text_; // written by the clock operations, which run it
    std::optional<Error> last_connect_failure_;
};

// The message GetRecordSet shows for a failure, and whether it first reconnects: the
// tests in their order, from the failure's number and the error text ErrorDesc.
struct RecordSetFailureNotice {
    bool reconnect = false;
    Text message;
    platform::MessageIcon icon = platform::MessageIcon::Critical;
};
RecordSetFailureNotice record_set_failure_notice(int32_t number, const Text& error_desc);

// GetSystemDateStr's digits: the server's style-121 time without "-", ":", "." and " ".
Text system_date_digits(const Text& style121);

} // namespace pelto
