// The errors of the ADO layer: the numbers ADO reports for ODBC's SQLSTATEs (one table,
// in ado_error.cpp) and ADO's own errors on misuse of its objects.
#pragma once

#include "core/error.h"
#include "db/ado/odbc_handle.h"

#include <vector>

namespace pelto::ado {

// Numbers ADO gives besides those in core/error.h.
namespace err {
constexpr int32_t kObjectOpen = 3705;               // operation not allowed when open
constexpr int32_t kInvalidConnection = 3709;        // connection closed or invalid here
constexpr int32_t kImproperParameter = 3708;        // parameter improperly defined
constexpr int32_t kDataConversion = 3421;           // value of the wrong type
constexpr int32_t kUpdateNotSupported = 3251;       // record set not updatable
constexpr int32_t kNotAllowedHere = 3219;           // operation not allowed in this context
constexpr int32_t kTimeout = -2147217871;           // 0x80040E31 timeout expired
constexpr int32_t kIntegrity = -2147217873;         // 0x80040E2F integrity violation
constexpr int32_t kInvalidObject = -2147217865;     // 0x80040E37 table or view not found
constexpr int32_t kTypeMismatch = -2147217913;      // 0x80040E07 data type mismatch
constexpr int32_t kDataOverflow = -2147217833;      // 0x80040E57 data out of range
constexpr int32_t kMissingValue = -2147217904;      // 0x80040E10 no value for a parameter
constexpr int32_t kCanceled = -2147217842;          // 0x80040E4E operation canceled
constexpr int32_t kNotImplemented = -2147467263;    // 0x80004001 E_NOTIMPL
constexpr int32_t kNoCommandText = -2147217908;     // 0x80040E0C command text not set
constexpr int32_t kBadInitString = -2147217805;     // 0x80040E73 malformed connection string
constexpr int32_t kNoTransaction = -2147168242;     // 0x8004D00E no transaction active
constexpr int32_t kTransactionExists = -2147168237; // 0x8004D013 one transaction only
constexpr int32_t kRowNotFound = -2147217864;       // 0x80040E38 row not located for update
constexpr int32_t kNoBackwardFetch = -2147217884;   // 0x80040E24 forward-only
} // namespace err

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

// The ADO number for one SQLSTATE.
int32_t ado_number(TextView sql_state, OdbcContext context);

// The error of a failed ODBC call: the number of the record that tells most (a refused
// login, then a lost connection, then the first record), its message as the
// description. `fallback` describes the failure when the driver left no record.
Error odbc_error(const std::vector<DiagRecord>& records, OdbcContext context, TextView source,
                 TextView fallback);
[[noreturn]] void raise_odbc(const odbc::Handle& handle, OdbcContext context, TextView source,
                             TextView fallback);

// ADO's own errors, with ADO's descriptions.
[[noreturn]] void raise(int32_t number, TextView source);
Error ado_error(int32_t number, TextView source);

// True when the ODBC return code means success (with or without information).
bool succeeded(int16_t rc);

} // namespace pelto::ado
