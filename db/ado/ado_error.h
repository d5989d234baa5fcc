// The errors of the ADO layer: the numbers ADO reports for ODBC's SQLSTATEs (one table,
// in ado_error.cpp) and ADO's own errors on misuse of its objects.
#pragma once

#include "core/error.h"
#include "db/ado/odbc_handle.h"

#include <optional>
#include <vector>

namespace pelto::ado {

// Where the ODBC call failed: opening a connection reports every failure but a refused
// login as E_FAIL, as SQL Server's provider does; a statement's server-side failure is
// DB_E_ERRORSINCOMMAND (0x80040E14) unless its SQLSTATE says more.
enum class OdbcContext { Connect, Statement, Transaction };

struct DiagRecord {
    Text state; // five characters, "08S01"
    int32_t native = 0;
    Text message;
};

std::vector<DiagRecord> read_diagnostics(const odbc::Handle& handle);

// The ADO number for one diagnostic record: its SQLSTATE, and its message where the
// state alone does not tell (the SQLite driver reports every failure as HY000).
int32_t ado_number(TextView sql_state, OdbcContext context, TextView message = TextView());

// The error of a failed ODBC call: the number of the record that tells most (a refused
// login, then a lost connection, then the first record), its message as the
// description, its SQLSTATE and native code. `fallback` describes the failure when the
// driver left no record.
Error odbc_error(const std::vector<DiagRecord>& records, OdbcContext context, TextView source,
                 TextView fallback);

// Whether the driver said the connection is gone (08xxx, PostgreSQL's 57Pxx).
bool connection_lost(const Error& error);

// The error of the first record among `warnings` that says a value was cut (01004 string
// data right-truncated, 01S07 fractional truncation, 22001 reported as a warning): a
// value written so is not the one the caller gave.
std::optional<Error> truncation_among(const std::vector<DiagRecord>& warnings, TextView source);

// ADO's own errors, with ADO's descriptions (the table of core/error_table.cpp).
[[noreturn]] void raise(int32_t number, TextView source);
Error ado_error(int32_t number, TextView source);

} // namespace pelto::ado
