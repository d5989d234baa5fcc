// The tables of the test double and the few statements the ADO layer and the tests send
// them: CREATE TABLE, INSERT, SELECT, UPDATE with literals and parameters, and SQL
// Server's BEGIN, SAVE, COMMIT and ROLLBACK TRANSACTION (a rollback to a savepoint puts
// the tables back as they were).
#pragma once

#include "tests/db/odbc_double/sql_server_types.h"

#include <vector>

namespace odbc_double {

struct ResultColumn {
    Text16 label;
    Text16 table;
    Text16 base;
    ColumnType type;
};

struct Result {
    std::vector<ResultColumn> columns; // none: a statement without rows
    std::vector<std::vector<Value>> rows;
    long affected = -1;
};

// Whether the double answers `sql` from its tables (else it is a script of results).
bool is_table_statement(const Text16& sql);
// Runs one statement; throws Failure.
Result run(const Text16& sql, const std::vector<Param>& params);
// SQLPrimaryKeys' result for a table.
Result primary_keys(const Text16& table);

} // namespace odbc_double
