// clsDBMng: statements on the main and the local connection, record sets for callers,
// whole results as row arrays, and the server's clock.
#include "core/workstation.h"
#include "db/cls_db_mng.h"
#include "db/cls_db_mng_trap.h"

namespace pelto {

using dbmng::must;
using dbmng::trap;

namespace {

// The text a failure leaves in ErrorDesc: "[clsDBMng/Operation] number-source/description#sql".
Text failure_text(const char16_t* operation, const Error& error, const Text& sql) {
    return u"[clsDBMng/" + Text(operation) + u"] " + from_utf8(std::to_string(error.number)) +
           u"-" + error.source + u"/" + error.description + u"#" + sql;
}

} // namespace

int32_t clsDBMng::RunSQL(const Text& rSQL) {
    int32_t result = -1000;
    const auto failure = trap([&] {
        ErrorClear();
        if (!IsServerConnect()) {
            if (!may_reconnect()) {
                refuse_reconnection();
            }
            ConnectServerRe(); // a failed reconnection shows as the failure of the statement
        }
        sConnect->Execute(rSQL, nullptr, ado::adOptionUnspecified);
        result = 1;
    });
    if (failure) {
        result = -1000;
        log("RunSQL failed: " + to_utf8(failure->description), *failure);
        end_transaction_on(*failure, "RunSQL");
    }
    return result;
}

int32_t clsDBMng::RunSQLm(const Text& rSQL) {
    int32_t result = -1000;
    const auto failure = trap([&] {
        ErrorClear();
        must(mConnect).Execute(rSQL, nullptr, ado::adOptionUnspecified);
        result = 1;
    });
    if (failure) {
        result = -1000;
        log("RunSQLm failed: " + to_utf8(failure->description), *failure);
    }
    return result;
}

int32_t clsDBMng::RunSQLTrans(std::initializer_list<Variant> rSQL) {
    return RunSQLTrans(std::vector<Variant>(rSQL));
}

int32_t clsDBMng::RunSQLTrans(const std::vector<Variant>& rSQL) {
    int32_t result = -1000;
    ErrorClear();
    platform_.ui.set_busy_pointer(false);
    bool began = false;
    const auto failure = trap([&] {
        sConnect->BeginTrans();
        began = true;
        for (const Variant& statement : rSQL) {
            sConnect->Execute(statement.to_text(), nullptr, ado::adOptionUnspecified);
        }
        sConnect->CommitTrans();
        result = 1;
        platform_.ui.set_busy_pointer(false);
    });
    if (failure) {
        result = -1000;
        log("RunSQLTrans failed: " + std::to_string(failure->number) + " " +
                to_utf8(failure->description),
            *failure);
        // A transaction already open on the connection is the caller's (fnBeginTrans, or
        // its own BeginTrans): it stays as it was, with everything done in it.
        if (began || failure->number != adoerr::kTransactionExists) {
            // Not trapped: when even the rollback fails (no transaction could be begun),
            // the caller must learn that the connection is unusable.
            sConnect->RollbackTrans();
        }
    }
    return result;
}

std::shared_ptr<ado::Recordset> clsDBMng::GetRecordSet(const Text& rSQL, int32_t rCursorType,
                                                       int32_t rLockType, int32_t rCurorLocation) {
    std::shared_ptr<ado::Recordset> records;
    const auto failure = trap([&] {
        ErrorClear();
        if (!IsServerConnect()) {
            if (!may_reconnect()) {
                refuse_reconnection();
            }
            ConnectServerRe();
        }
        records = std::make_shared<ado::Recordset>();
        records->CursorLocation(rCurorLocation);
        records->Open(rSQL, sConnect.get(), rCursorType, rLockType, ado::adOptionUnspecified);
    });
    if (failure) {
        const RecordSetFailureNotice notice = record_set_failure_notice(failure->number, ErrorDesc);
        log("GetRecordSet failed: " + std::to_string(failure->number) + " " +
                to_utf8(failure->description),
            *failure);
        end_transaction_on(*failure, "GetRecordSet");
        if (notice.reconnect) {
            if (may_reconnect()) {
                ConnectServerRe();
            } else {
                log("GetRecordSet: the connection is not reopened while the caller's transaction "
                    "is not ended");
            }
        }
        platform_.ui.message_box(notice.message, notice.icon, workstation::kAppTitle);
        // The caller gets a closed record set; the error text tells it why.
        ErrorDesc = failure_text(u"GetRecordSet", *failure, rSQL);
    }
    return records;
}

bool clsDBMng::fnGetRows(Text rSQL, Variant& rtn_Arr) {
    bool result = false;
    const auto failure = trap([&] {
        ErrorClear();
        sRecordset = std::make_shared<ado::Recordset>();
        sRecordset->Source(rSQL);
        sRecordset->ActiveConnection(sConnect.get());
        sRecordset->CursorType(ado::adOpenForwardOnly);
        sRecordset->LockType(ado::adLockReadOnly);
        sRecordset->CursorLocation(ado::adUseClient);
        sRecordset->Open();
        sRecordset->ActiveConnection(nullptr); // a client-side copy from here on
        if (sRecordset->Eof()) {
            rtn_Arr = Text();
        } else {
            rtn_Arr = sRecordset->GetRows(ado::adGetRowsRest);
        }
        if (sRecordset) {
            if (sRecordset->State() == ado::adStateOpen) {
                sRecordset->Close();
            }
            sRecordset.reset();
        }
        result = true;
    });
    if (failure) {
        result = false;
        if (sRecordset) {
            trap([&] {
                if (sRecordset->ActiveConnection()) {
                    sRecordset->ActiveConnection(nullptr);
                }
                if (sRecordset->State() == ado::adStateOpen) {
                    sRecordset->Close();
                }
            });
            sRecordset.reset();
        }
        log("fnGetRows failed: " + to_utf8(failure->description), *failure);
        end_transaction_on(*failure, "fnGetRows");
    }
    return result;
}

bool clsDBMng::fnExecute(Text rSQL, int32_t& rCnt, Text& ErrDesc) {
    bool result = false;
    const auto failure = trap([&] {
        ErrorClear();
        sConnect->Execute(rSQL, &rCnt, ado::adExecuteNoRecords);
        result = true;
    });
    if (failure) {
        ErrDesc = failure->description;
        log("fnExecute failed: " + to_utf8(failure->description), *failure);
        end_transaction_on(*failure, "fnExecute");
    }
    return result;
}

Variant clsDBMng::GetSystemDate() {
    Variant result;
    trap([&] {
        statement_text_ = u"SELECT GETDATE()";
        const auto records = GetRecordSet(statement_text_, 0, 1, 3);
        result = must(records).Fields(0).Value();
    });
    return result;
}

Text clsDBMng::GetSystemDateStr() {
    Text result;
    trap([&] {
        statement_text_ = u"select convert(varchar(30), getdate(),121)";
        const auto records = GetRecordSet(statement_text_, 0, 1, 3);
        result = system_date_digits(must(records).Fields(0).Value().to_text());
    });
    return result;
}

} // namespace pelto
