// How the double hands a value to the application: as the C type asked for, into its
// buffer, a long text or binary value in pieces (SQLGetData's contract).
#pragma once

#include "tests/db/odbc_double/sql_server_types.h"

#include <sql.h>
#include <string>

namespace odbc_double {

struct ValueRead {
    SQLRETURN rc = SQL_SUCCESS;
    size_t next_offset = 0; // where the next piece of a text (units) or bytes starts
    std::string state;      // a failure's SQLSTATE and message
    std::string message;
};

// Writes `value` of `type` as `c_type` into `buffer` (`length` bytes), a text or binary
// value from `offset` on; `indicator` receives its length (of what is left) or
// SQL_NULL_DATA.
ValueRead read_value(const Value& value, const ColumnType& type, SQLSMALLINT c_type,
                     SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator, size_t offset);

} // namespace odbc_double
