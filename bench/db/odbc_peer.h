// The peers of bench_db: the loops a C program runs over the same ODBC driver, with no
// object model between it and the driver, so that the manager is compared with what
// the driver itself costs.
#pragma once

#include <cstdint>

namespace bench_db {

struct PeerResult {
    bool ok = false;
    double seconds = 0;
    long cells = 0;     // values read
    uint64_t bytes = 0; // bytes read or written
    long peak_kib = 0;  // the high-water mark of resident memory above its start
};

// Runs `query` and reads every cell of every row as wide text (SQLFetch, SQLGetData
// SQL_C_WCHAR into one buffer). Timed from the execution to the closed cursor.
PeerResult read_all_as_text(const char16_t* connection_string, const char16_t* query);

// The same loop reading every cell as the C type of its column (SQL_C_SLONG for an
// integer, SQL_C_DOUBLE for a floating-point number, the date and time structures, wide
// text for the rest), as a program that wants values rather than their text does: what
// the driver itself costs for the values the record set keeps.
PeerResult read_all_typed(const char16_t* connection_string, const char16_t* query);

// Executes `update` (one binary parameter marker) with the content of `file` sent in
// pieces of 32768 bytes through SQLPutData.
PeerResult put_file(const char16_t* connection_string, const char16_t* update, const char* file);

// Runs `query` and reads its column `column` (from 1) of the first row in pieces of
// 65536 bytes, discarding them.
PeerResult get_binary(const char16_t* connection_string, const char16_t* query, int column);

// The kernel's high-water mark of this process's resident memory starts again at the
// current size; the peak above that, in KiB.
void reset_peak();
long resident_kib();
long peak_kib();

} // namespace bench_db
