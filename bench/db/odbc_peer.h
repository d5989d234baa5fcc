// The peers of bench_db: the loops a C program runs over the same ODBC driver, with no
// object model between it and the driver, so that the manager is compared with what
// the driver itself costs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench_db {

struct PeerResult {
    bool ok = false;
    double seconds = 0;
    double cpu_seconds = 0; // processor time of this process, for the loops that read rows
    long cells = 0;         // values read
    uint64_t bytes = 0;     // bytes read or written
    long peak_kib = 0;      // the high-water mark of resident memory above its start
};

// The two read loops run on a connection of their own that stays open from one call to the
// next (the manager's stays open too).

// Runs `query` and reads every cell of every row as wide text (SQLFetch, SQLGetData
// SQL_C_WCHAR into one buffer). Timed from the execution to the closed cursor.
PeerResult read_all_as_text(const char16_t* connection_string, const char16_t* query);

// What a program that wants the rows themselves does: the columns of a fixed size bound
// as their C types (SQL_C_SBIGINT, SQL_C_DOUBLE, the date and time structures) as the record
// set binds them, the others read as wide text with SQLGetData, and every value kept, row
// after row, in one array of typed cells with room for `expected_cells` made before the
// first row (so that, like the record set, it never moves what it has read). Timed from
// the execution to the closed cursor, the kept values still held.
PeerResult read_all_kept(const char16_t* connection_string, const char16_t* query,
                         size_t expected_cells);

// Runs one statement; false when it fails.
bool run_statement(const char16_t* connection_string, const char16_t* sql);

// Executes `update` (one binary parameter marker) with the content of `file` sent in
// pieces of 32768 bytes through SQLPutData.
PeerResult put_file(const char16_t* connection_string, const char16_t* update, const char* file);

// Runs `query` and reads the whole value of its column `column` (from 1) of the first row
// into one buffer of its size (its length asked first), which it keeps until the end.
PeerResult get_binary(const char16_t* connection_string, const char16_t* query, int column);

// The processor time this process has used so far (every thread), in seconds: on a
// machine shared with other work it measures a loop's own cost where wall time does not.
double cpu_seconds();

// The kernel's high-water mark of this process's resident memory starts again at the
// current size; the peak above that, in KiB.
void reset_peak();
long resident_kib();
long peak_kib();

} // namespace bench_db
