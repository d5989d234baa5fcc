// ADO's Connection over ODBC: the connection string as assigned, its translation to
// ODBC through the platform's provider layer, the events ConnectComplete and Disconnect
// raised inside Open and Close, statements and the connection's one transaction.
#pragma once

#include "core/error.h"
#include "core/variant.h"
#include "db/ado/ado_enums.h"
#include "db/ado/ado_error.h"
#include "db/ado/dialect.h"
#include "db/ado/odbc_handle.h"
#include "platform/odbc_provider.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace pelto::ado {

class Connection;
class ParameterBinder;
class Recordset;

// The one object that receives a connection's events (ADO's WithEvents variable).
class ConnectionEvents {
public:
    virtual ~ConnectionEvents() = default;
    // pError is null when the opening succeeded; adStatus is adStatusOK (1) then, else
    // adStatusErrorsOccurred (2).
    virtual void ConnectComplete(const Error* pError, int32_t& adStatus,
                                 Connection& pConnection) = 0;
    virtual void Disconnect(int32_t& adStatus, Connection& pConnection) = 0;
    // A driver failure the connection went on without (a time-out or a catalog function
    // the driver lacks, a disconnection it refused), as ADO's InfoMessage reports one.
    virtual void InfoMessage(const Error& /*pError*/, Connection& /*pConnection*/) {}
};

class Connection final : public Object, public std::enable_shared_from_this<Connection> {
public:
    explicit Connection(platform::OdbcProviders& providers);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    // An open connection that loses its last reference is closed (its transaction
    // rolled back) without raising events.
    ~Connection() override;

    const Text& ConnectionString() const { return connection_string_; }
    void ConnectionString(const Text& value); // 3705 while open
    int32_t CursorLocation() const { return cursor_location_; }
    void CursorLocation(int32_t value);
    int32_t ConnectionTimeout() const { return connection_timeout_; }
    void ConnectionTimeout(int32_t seconds); // 3705 while open
    int32_t CommandTimeout() const { return command_timeout_; }
    void CommandTimeout(int32_t seconds);
    int32_t State() const { return open_ ? adStateOpen : adStateClosed; }

    // Opens synchronously with the assigned string; raises ConnectComplete either way,
    // then throws VbError on failure.
    void Open();
    // Closes statements and the connection, then raises Disconnect. 3704 when closed,
    // 3246 while a transaction is open.
    void Close();
    // Runs one statement. Rows affected go to `records_affected` (-1 when the statement
    // returns rows or reports none). A statement that returns rows gives an open,
    // forward-only record set; otherwise a closed one, or null with adExecuteNoRecords.
    std::shared_ptr<Recordset> Execute(const Text& command_text,
                                       int32_t* records_affected = nullptr,
                                       int32_t options = adOptionUnspecified);
    int32_t BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // The one subscribed sink; null unsubscribes.
    void set_events(ConnectionEvents* sink) { events_ = sink; }

    // --- for the ADO classes ---
    struct Executed {
        std::shared_ptr<odbc::Handle> statement; // owns the cursor while rows are read
        int16_t columns = 0;
        int64_t rows_affected = -1;
        // What the driver said beside a successful execution (SQL_SUCCESS_WITH_INFO),
        // the streamed values included.
        std::vector<DiagRecord> warnings;
    };
    // Executes `sql` with the bound values (may be null), streaming binary values when
    // the driver asks. A statement without rows has every later result of its batch read
    // before it returns; one with rows has them read after its last row (ResultReader).
    // Throws VbError (3704 closed, or the driver's error, also one that a later result
    // of the batch reports).
    Executed execute_statement(const Text& sql, ParameterBinder* binder, int32_t timeout_seconds);
    // Whether the driver names the origin of a result column (SQL_DESC_BASE_COLUMN_NAME)
    // or only repeats its label, asked once per connection by selecting `column` of
    // `table` under another name. Unknown (nullopt) when that selection fails: then
    // `column` is no column of `table`. A lost connection is thrown.
    std::optional<bool> names_column_origins(const Text& schema, const Text& table,
                                             const Text& column);
    // The server's dialect, asked once per connection (SQL_DBMS_NAME).
    Dialect dialect();
    // Whether a transaction begun by BeginTrans is open.
    bool in_transaction() const { return transaction_level_ > 0; }
    // One change in a transaction of the connection's own through ODBC's manual-commit
    // mode, for servers that know no savepoint outside a transaction. Ending it restores
    // autocommit; a failed rollback is only noted, as it runs while a failure is on its
    // way to the caller.
    void begin_local_transaction();
    void end_local_transaction(bool commit);
    // Quotes an identifier for this driver.
    Text quoted(const Text& identifier);
    // The key columns of a table, from the driver's catalog.
    std::vector<Text> primary_key_columns(const Text& schema, const Text& table);
    // The character that quotes identifiers ('"' when the driver does not say).
    Text identifier_quote();
    // Whether the driver reads unbound columns before and between bound ones
    // (SQL_GD_ANY_COLUMN); false when it does not say.
    bool reads_columns_in_any_order();
    // The Source of errors the provider reports.
    const Text& error_source() const { return error_source_; }
    // Reports a failure the connection goes on without to the subscribed sink.
    void note(const Error& failure) noexcept;

private:
    std::shared_ptr<odbc::Handle> new_statement(int32_t timeout_seconds);
    void release_statements() noexcept;
    void disconnect() noexcept;
    [[noreturn]] void fail_open(Error error);
    void set_autocommit(bool on);
    // A catalog call the driver may lack: true when it succeeded; a driver without the
    // function is noted and answers false; any other failure is thrown.
    bool catalog_call(int16_t rc, const odbc::Handle& statement, std::string_view function);

    platform::OdbcProviders& providers_;
    Text connection_string_;
    int32_t cursor_location_ = adUseServer;
    int32_t connection_timeout_ = 15;
    int32_t command_timeout_ = 30;
    bool open_ = false;
    int32_t transaction_level_ = 0;
    ConnectionEvents* events_ = nullptr;
    Text error_source_;
    Text identifier_quote_;
    std::optional<bool> any_column_;    // asked once per connection
    std::optional<bool> names_origins_; // asked once per connection
    std::optional<Dialect> dialect_;    // asked once per connection
    std::shared_ptr<odbc::Handle> environment_;
    odbc::Handle dbc_;
    std::vector<std::weak_ptr<odbc::Handle>> statements_;
};

} // namespace pelto::ado
