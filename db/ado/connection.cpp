#include "db/ado/connection.h"

#include "db/ado/ado_error.h"
#include "db/ado/odbc_api.h"
#include "db/ado/odbc_check.h"
#include "db/ado/parameter_binder.h"
#include "db/ado/recordset.h"
#include "db/ado/result_reader.h"
#include "platform/ado_connection_string.h"

#include <algorithm>
#include <array>
#include <limits>

namespace pelto::ado {

namespace {

constexpr const char16_t* kSource = u"ADODB.Connection";

int32_t clamp_count(int64_t count) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(count, -1, std::numeric_limits<int32_t>::max()));
}

} // namespace

Connection::Connection(platform::OdbcProviders& providers) : providers_(providers) {}

Connection::~Connection() {
    disconnect(); // rolls an open transaction back first
}

void Connection::note(const Error& failure) noexcept {
    if (events_ != nullptr) {
        try {
            events_->InfoMessage(failure, *this);
        } catch (...) { // NOLINT(bugprone-empty-catch): a report must not end the operation
        }
    }
}

void Connection::ConnectionString(const Text& value) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    connection_string_ = value;
}

void Connection::CursorLocation(int32_t value) {
    if (value != adUseClient && value != adUseServer) {
        raise(adoerr::kArgumentsWrongType, kSource);
    }
    cursor_location_ = value;
}

void Connection::ConnectionTimeout(int32_t seconds) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    if (seconds < 0) {
        raise(adoerr::kArgumentsWrongType, kSource);
    }
    connection_timeout_ = seconds;
}

void Connection::CommandTimeout(int32_t seconds) {
    if (seconds < 0) {
        raise(adoerr::kArgumentsWrongType, kSource);
    }
    command_timeout_ = seconds;
}

void Connection::fail_open(Error error) {
    int32_t status = adStatusErrorsOccurred;
    if (events_ != nullptr) {
        events_->ConnectComplete(&error, status, *this);
    }
    throw VbError(std::move(error));
}

void Connection::Open() {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    const auto parsed = platform::parse_ado_connection_string(connection_string_);
    if (!parsed) {
        error_source_ = u"Microsoft OLE DB Service Components";
        fail_open(ado_error(adoerr::kBadInitString, error_source_));
    }
    error_source_ = platform::provider_error_source(platform::provider_of(*parsed));
    auto translated = providers_.translate(connection_string_);
    if (auto* refused = std::get_if<Error>(&translated)) {
        fail_open(std::move(*refused));
    }
    const auto& target = std::get<platform::OdbcTarget>(translated);
    try {
        environment_ = odbc::environment();
        dbc_ = odbc::allocate(odbc::HandleType::Dbc, *environment_);
    } catch (const VbError& e) {
        fail_open(e.error());
    }
    // A driver that cannot time the login out still connects, only without the limit.
    const OdbcStatus timeout = answer(
        SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                           odbc::integer_argument(static_cast<uintptr_t>(connection_timeout_)), 0),
        dbc_, "SQLSetConnectAttrW", OdbcContext::Connect, error_source_);
    if (timeout.failure) {
        note(*timeout.failure);
    }
    const OdbcStatus connected =
        answer(SQLDriverConnectW(dbc_.get(), nullptr, odbc::wide(target.connection_string), SQL_NTS,
                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
               dbc_, "SQLDriverConnectW", OdbcContext::Connect, error_source_);
    if (connected.failure || connected.no_data()) {
        Error error = connected.failure ? *connected.failure
                                        : odbc_error({}, OdbcContext::Connect, error_source_,
                                                     u"SQLDriverConnectW returned no connection.");
        dbc_.reset();
        fail_open(std::move(error));
    }
    open_ = true;
    identifier_quote_.clear();
    any_column_.reset();
    names_origins_.reset();
    dialect_.reset();
    if (!target.after_connect_sql.empty()) {
        try {
            execute_statement(target.after_connect_sql, nullptr, command_timeout_);
        } catch (const VbError& e) {
            disconnect();
            fail_open(e.error());
        }
    }
    int32_t status = adStatusOK;
    if (events_ != nullptr) {
        events_->ConnectComplete(nullptr, status, *this);
    }
}

void Connection::release_statements() noexcept {
    for (auto& weak : statements_) {
        if (auto statement = weak.lock()) {
            // Record sets reading it now see a closed object.
            if (!statement->reset()) {
                note(Error{adoerr::kFail, error_source_,
                           u"The driver refused to free a statement, also after cancelling it."});
            }
        }
    }
    statements_.clear();
}

void Connection::disconnect() noexcept {
    release_statements();
    if (dbc_) {
        if (open_) {
            const auto tolerate = [this](int16_t rc, std::string_view function) {
                const OdbcStatus status =
                    answer(rc, dbc_, function, OdbcContext::Transaction, error_source_);
                if (status.failure) {
                    note(*status.failure);
                }
                return !status.failed();
            };
            if (transaction_level_ > 0) {
                tolerate(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK), "SQLEndTran");
            }
            // A driver refuses to disconnect while the server holds a transaction that a
            // statement began ("BEGIN TRANSACTION" under autocommit); the connection is
            // going away, so that transaction is given up and the disconnection retried.
            // Otherwise the handle could not be freed and the session would keep its locks.
            if (!tolerate(SQLDisconnect(dbc_.get()), "SQLDisconnect") &&
                tolerate(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK), "SQLEndTran")) {
                tolerate(SQLDisconnect(dbc_.get()), "SQLDisconnect");
            }
        }
        if (!dbc_.reset()) {
            note(Error{adoerr::kFail, error_source_,
                       u"The driver refused to free the connection, also after disconnecting it."});
        }
    }
    open_ = false;
    transaction_level_ = 0;
}

void Connection::Close() {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    if (transaction_level_ > 0) {
        raise(adoerr::kCloseInTransaction, kSource);
    }
    disconnect();
    int32_t status = adStatusOK;
    if (events_ != nullptr) {
        events_->Disconnect(status, *this);
    }
}

std::shared_ptr<odbc::Handle> Connection::new_statement(int32_t timeout_seconds) {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    auto statement = std::make_shared<odbc::Handle>(odbc::allocate(odbc::HandleType::Stmt, dbc_));
    if (timeout_seconds > 0) {
        // A driver that cannot time statements out still runs them, without the limit.
        const OdbcStatus timeout = answer(
            SQLSetStmtAttrW(statement->get(), SQL_ATTR_QUERY_TIMEOUT,
                            odbc::integer_argument(static_cast<uintptr_t>(timeout_seconds)), 0),
            *statement, "SQLSetStmtAttrW", OdbcContext::Statement, error_source_);
        if (timeout.failure) {
            note(*timeout.failure);
        }
    }
    std::erase_if(statements_, [](const auto& weak) { return weak.expired(); });
    statements_.push_back(statement);
    return statement;
}

Connection::Executed Connection::execute_statement(const Text& sql, ParameterBinder* binder,
                                                   int32_t timeout_seconds) {
    auto statement = new_statement(timeout_seconds);
    SQLHSTMT st = statement->get();
    if (binder != nullptr) {
        binder->bind(*statement);
    }
    // Every execution has a statement of its own, so preparing first would only cost a
    // round trip (and psqlODBC cannot execute a prepared call escape with output values).
    // SQL_NO_DATA: a searched UPDATE or DELETE that found no row.
    OdbcStatus status = answer(SQLExecDirectW(st, odbc::wide(sql), SQL_NTS), *statement,
                               "SQLExecDirectW", OdbcContext::Statement, error_source_);
    if (status.need_data()) {
        try {
            while (status.need_data()) {
                SQLPOINTER token = nullptr;
                status = answer(SQLParamData(st, &token), *statement, "SQLParamData",
                                OdbcContext::Statement, error_source_);
                if (!status.need_data()) {
                    break;
                }
                if (binder == nullptr) {
                    raise(adoerr::kImproperParameter, kSource);
                }
                binder->put_data(*statement, token);
            }
            status.or_raise();
        } catch (...) {
            // A statement left waiting for the rest of a value blocks its connection:
            // no change of autocommit, no end of a transaction, no freeing. Cancelled, it
            // is back where it was before the execution.
            SQLCancel(st);
            throw;
        }
    }
    status.or_raise();
    Executed out;
    if (status.rc == odbc_rc::kSuccessWithInfo) {
        out.warnings = read_diagnostics(*statement);
    }
    if (binder != nullptr) {
        const auto& streamed = binder->put_warnings();
        out.warnings.insert(out.warnings.end(), streamed.begin(), streamed.end());
    }
    out.statement = statement;
    SQLSMALLINT columns = 0;
    // Without the column count a result with rows would pass for one without.
    check(SQLNumResultCols(st, &columns), *statement, "SQLNumResultCols", OdbcContext::Statement,
          error_source_);
    out.columns = columns;
    if (out.columns == 0) {
        SQLLEN count = -1;
        // A driver that cannot count reports none (-1), as ADO does.
        const OdbcStatus counted = answer(SQLRowCount(st, &count), *statement, "SQLRowCount",
                                          OdbcContext::Statement, error_source_);
        if (counted.failure) {
            note(*counted.failure);
        } else {
            out.rows_affected = count;
        }
        read_remaining_results(*statement, error_source_);
    }
    return out;
}

std::shared_ptr<Recordset> Connection::Execute(const Text& command_text, int32_t* records_affected,
                                               int32_t options) {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    Executed done = execute_statement(command_text, nullptr, command_timeout_);
    if (records_affected != nullptr) {
        *records_affected = clamp_count(done.rows_affected);
    }
    if (options != adOptionUnspecified && (options & adExecuteNoRecords) != 0) {
        if (done.columns > 0) {
            read_remaining_results(*done.statement, error_source_); // its rows are let go
        }
        return nullptr;
    }
    auto records = std::make_shared<Recordset>();
    if (done.columns > 0) {
        records->attach_result(shared_from_this(), std::move(done.statement), command_text);
    }
    return records;
}

void Connection::set_autocommit(bool on) {
    check(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                             odbc::integer_argument(static_cast<uintptr_t>(
                                 on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                             0),
          dbc_, "SQLSetConnectAttrW", OdbcContext::Transaction, error_source_);
}

int32_t Connection::BeginTrans() {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    if (transaction_level_ > 0) {
        raise(adoerr::kTransactionExists, kSource);
    }
    set_autocommit(false);
    transaction_level_ = 1;
    return transaction_level_;
}

void Connection::CommitTrans() {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    if (transaction_level_ == 0) {
        raise(adoerr::kNoTransaction, kSource);
    }
    check(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_COMMIT), dbc_, "SQLEndTran",
          OdbcContext::Transaction, error_source_);
    transaction_level_ = 0;
    set_autocommit(true);
}

void Connection::RollbackTrans() {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    if (transaction_level_ == 0) {
        raise(adoerr::kNoTransaction, kSource);
    }
    const OdbcStatus rolled = answer(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK), dbc_,
                                     "SQLEndTran", OdbcContext::Transaction, error_source_);
    if (rolled.failure && connection_lost(*rolled.failure)) {
        // The connection is lost, and the server rolled the transaction back with it: the
        // connection holds none any more and can be closed.
        transaction_level_ = 0;
    }
    rolled.or_raise();
    transaction_level_ = 0;
    set_autocommit(true);
}

bool Connection::catalog_call(int16_t rc, const odbc::Handle& statement,
                              std::string_view function) {
    const OdbcStatus status =
        answer(rc, statement, function, OdbcContext::Statement, error_source_);
    if (status.unsupported()) {
        note(*status.failure);
        return false;
    }
    status.or_raise(); // a lost connection must not pass for a table without a key
    return true;
}

std::vector<Text> Connection::primary_key_columns(const Text& schema, const Text& table) {
    std::vector<Text> keys;
    SQLWCHAR* schema_arg = schema.empty() ? nullptr : odbc::wide(schema);
    const SQLSMALLINT schema_length = schema.empty() ? 0 : SQL_NTS;
    {
        auto statement = new_statement(command_timeout_);
        if (catalog_call(SQLPrimaryKeysW(statement->get(), nullptr, 0, schema_arg, schema_length,
                                         odbc::wide(table), SQL_NTS),
                         *statement, "SQLPrimaryKeysW")) {
            ResultReader reader(statement, error_source_, ReadOptions{dialect()});
            std::vector<Variant> row;
            while (reader.next(row)) {
                if (row.size() > 3 && row[3].is_text()) {
                    keys.push_back(row[3].to_text()); // COLUMN_NAME
                }
            }
        }
    }
    if (!keys.empty()) {
        return keys;
    }
    // No primary key: the columns of the first unique index identify a row as well.
    auto statement = new_statement(command_timeout_);
    if (catalog_call(SQLStatisticsW(statement->get(), nullptr, 0, schema_arg, schema_length,
                                    odbc::wide(table), SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK),
                     *statement, "SQLStatisticsW")) {
        ResultReader reader(statement, error_source_, ReadOptions{dialect()});
        std::vector<Variant> row;
        Text index_name;
        while (reader.next(row)) {
            // NON_UNIQUE (4), INDEX_NAME (6), TYPE (7), COLUMN_NAME (9)
            if (row.size() < 9 || row[8].is_null() || row[6].is_null() ||
                row[6].to_long() == SQL_TABLE_STAT || (!row[3].is_null() && row[3].to_bool())) {
                continue;
            }
            const Text name = row[5].is_null() ? Text() : row[5].to_text();
            if (keys.empty()) {
                index_name = name;
            } else if (name != index_name) {
                break;
            }
            keys.push_back(row[8].to_text());
        }
    }
    return keys;
}

bool Connection::reads_columns_in_any_order() {
    if (any_column_) {
        return *any_column_;
    }
    if (!open_) {
        return false;
    }
    SQLUINTEGER extensions = 0;
    const OdbcStatus status = answer(
        SQLGetInfoW(dbc_.get(), SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr),
        dbc_, "SQLGetInfoW", OdbcContext::Statement, error_source_);
    if (status.failure) {
        note(*status.failure); // a driver that does not say is read in column order
    }
    any_column_ = !status.failed() && (extensions & SQL_GD_ANY_COLUMN) != 0;
    return *any_column_;
}

std::optional<bool> Connection::names_column_origins(const Text& schema, const Text& table,
                                                     const Text& column) {
    if (names_origins_) {
        return names_origins_;
    }
    constexpr const char16_t* kProbeLabel = u"pelto_origin_probe";
    Text sql = u"SELECT " + quoted(column) + u" AS " + quoted(kProbeLabel) + u" FROM ";
    if (!schema.empty()) {
        sql += quoted(schema) + u".";
    }
    sql += quoted(table) + u" WHERE 1 = 0";
    try {
        Executed done = execute_statement(sql, nullptr, command_timeout_);
        if (done.columns < 1) {
            return std::nullopt;
        }
        ResultReader reader(done.statement, error_source_,
                            ReadOptions{dialect(), false, /*updatable=*/true});
        const Text& named = reader.columns().front().base_column;
        names_origins_ = equals_ignore_case(named, column);
        return names_origins_;
    } catch (const VbError& e) {
        if (e.number() == adoerr::kFail) {
            throw; // the connection is gone, not the column
        }
        return std::nullopt;
    }
}

Dialect Connection::dialect() {
    if (dialect_) {
        return *dialect_;
    }
    std::array<char16_t, 128> buffer{};
    SQLSMALLINT length = 0;
    const OdbcStatus status = answer(SQLGetInfoW(dbc_.get(), SQL_DBMS_NAME, buffer.data(),
                                                 static_cast<SQLSMALLINT>(sizeof buffer), &length),
                                     dbc_, "SQLGetInfoW", OdbcContext::Statement, error_source_);
    if (status.failure) {
        note(*status.failure); // a driver that does not say speaks standard SQL
    }
    dialect_ = dialect_of(odbc::text_of(buffer.data(), buffer.size()));
    return *dialect_;
}

void Connection::begin_local_transaction() {
    if (!open_) {
        raise(adoerr::kClosedObject, kSource);
    }
    set_autocommit(false);
}

void Connection::end_local_transaction(bool commit) {
    if (!open_) {
        if (commit) {
            raise(adoerr::kClosedObject, kSource);
        }
        return; // closing rolled it back
    }
    if (commit) {
        check(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_COMMIT), dbc_, "SQLEndTran",
              OdbcContext::Transaction, error_source_);
        set_autocommit(true);
        return;
    }
    try {
        const OdbcStatus rolled = answer(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK), dbc_,
                                         "SQLEndTran", OdbcContext::Transaction, error_source_);
        if (rolled.failure) {
            note(*rolled.failure);
        }
        set_autocommit(true);
    } catch (const VbError& e) {
        note(e.error());
    }
}

Text Connection::quoted(const Text& identifier) {
    const Text quote = identifier_quote();
    return quote + replace_all(identifier, quote, quote + quote) + quote;
}

Text Connection::identifier_quote() {
    if (!identifier_quote_.empty()) {
        return identifier_quote_;
    }
    std::array<char16_t, 8> buffer{};
    SQLSMALLINT length = 0;
    identifier_quote_ = u"\"";
    if (!open_) {
        return identifier_quote_;
    }
    // A driver that does not say keeps the standard quote.
    const OdbcStatus status =
        answer(SQLGetInfoW(dbc_.get(), SQL_IDENTIFIER_QUOTE_CHAR, buffer.data(),
                           static_cast<SQLSMALLINT>(sizeof buffer), &length),
               dbc_, "SQLGetInfoW", OdbcContext::Statement, error_source_);
    if (status.failure) {
        note(*status.failure);
    } else {
        const Text quote = odbc::text_of(buffer.data(), buffer.size());
        if (!quote.empty() && quote != u" ") {
            identifier_quote_ = quote;
        }
    }
    return identifier_quote_;
}

} // namespace pelto::ado
