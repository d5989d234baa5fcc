// Plain ODBC calls in the order a C program makes them: no handles wrapped, no values
// converted beyond what the driver hands out.
#include "bench/db/odbc_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <string>
#include <variant>
#include <vector>

namespace bench_db {

namespace {

using Clock = std::chrono::steady_clock;

long status_kib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

SQLWCHAR* wide(const char16_t* text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text));
}

struct Session {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;

    explicit Session(const char16_t* connection_string) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        if (SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, wide(connection_string), SQL_NTS, nullptr,
                                            0, nullptr, SQL_DRIVER_NOPROMPT))) {
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        if (stmt != SQL_NULL_HSTMT) {
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            SQLDisconnect(dbc);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    bool connected() const { return stmt != SQL_NULL_HSTMT; }
};

// The connection a read loop runs on: opened once per connection string and kept, as the
// manager keeps its own, so that no loop pays for a driver's first query on a new one.
Session& warm_session(const char16_t* connection_string) {
    static std::map<std::u16string, std::unique_ptr<Session>> sessions;
    auto& session = sessions[connection_string];
    if (!session) {
        session = std::make_unique<Session>(connection_string);
    }
    SQLFreeStmt(session->stmt, SQL_UNBIND);
    return *session;
}

void report(SQLHSTMT stmt) {
    SQLWCHAR state[6];
    SQLWCHAR message[512];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(
            SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, message, 512, &length))) {
        std::fprintf(stderr, "peer: ODBC error %d\n", static_cast<int>(native));
    }
}

} // namespace

double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void reset_peak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

long resident_kib() {
    return status_kib("VmRSS:");
}

long peak_kib() {
    return status_kib("VmHWM:");
}

namespace {

// The C type a column of `sql_type` is bound as; 0 for a column read as text.
SQLSMALLINT bound_type(SQLSMALLINT sql_type) {
    switch (sql_type) {
    case SQL_INTEGER: // 64 bits, as the record set reads every integer
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
        return SQL_C_SBIGINT;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return SQL_C_DOUBLE;
    case SQL_BIT:
        return SQL_C_BIT;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return SQL_C_TYPE_TIMESTAMP;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return SQL_C_TYPE_DATE;
    default:
        return 0;
    }
}

using Cell = std::variant<std::monostate, SQLINTEGER, SQLBIGINT, SQLDOUBLE, unsigned char,
                          SQL_TIMESTAMP_STRUCT, SQL_DATE_STRUCT, std::u16string>;

struct BoundColumn {
    SQLSMALLINT c_type = 0; // 0: read as text
    SQLLEN indicator = 0;
    alignas(8) unsigned char bytes[sizeof(SQL_TIMESTAMP_STRUCT)] = {};
};

template <typename T> T from_bytes(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

Cell bound_cell(const BoundColumn& column) {
    if (column.indicator == SQL_NULL_DATA) {
        return std::monostate{};
    }
    switch (column.c_type) {
    case SQL_C_SLONG:
        return from_bytes<SQLINTEGER>(column.bytes);
    case SQL_C_SBIGINT:
        return from_bytes<SQLBIGINT>(column.bytes);
    case SQL_C_DOUBLE:
        return from_bytes<SQLDOUBLE>(column.bytes);
    case SQL_C_BIT:
        return column.bytes[0];
    case SQL_C_TYPE_TIMESTAMP:
        return from_bytes<SQL_TIMESTAMP_STRUCT>(column.bytes);
    default:
        return from_bytes<SQL_DATE_STRUCT>(column.bytes);
    }
}

} // namespace

PeerResult read_all_as_text(const char16_t* connection_string, const char16_t* query) {
    PeerResult result;
    Session& session = warm_session(connection_string);
    if (!session.connected()) {
        return result;
    }
    const auto start = Clock::now();
    const double cpu_start = cpu_seconds();
    if (!SQL_SUCCEEDED(SQLExecDirectW(session.stmt, wide(query), SQL_NTS))) {
        report(session.stmt);
        return result;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(session.stmt, &columns);
    SQLWCHAR buffer[4096];
    while (SQLFetch(session.stmt) == SQL_SUCCESS) {
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            SQLLEN indicator = 0;
            SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
            while (rc == SQL_SUCCESS_WITH_INFO) { // the rest of a value longer than the buffer
                rc = SQLGetData(session.stmt, c, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
            }
            result.cells += indicator == SQL_NULL_DATA ? 0 : 1;
        }
    }
    SQLFreeStmt(session.stmt, SQL_CLOSE); // the result's rows are let go, as a record set does
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.cpu_seconds = cpu_seconds() - cpu_start;
    result.ok = true;
    return result;
}

PeerResult read_all_kept(const char16_t* connection_string, const char16_t* query,
                         size_t expected_cells) {
    PeerResult result;
    Session& session = warm_session(connection_string);
    if (!session.connected()) {
        return result;
    }
    SQLUINTEGER extensions = 0;
    SQLGetInfoW(session.dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr);
    const bool bind_anywhere = (extensions & SQL_GD_ANY_COLUMN) != 0;
    std::vector<Cell> cells;
    const auto start = Clock::now();
    const double cpu_start = cpu_seconds();
    if (!SQL_SUCCEEDED(SQLExecDirectW(session.stmt, wide(query), SQL_NTS))) {
        report(session.stmt);
        return result;
    }
    SQLSMALLINT count = 0;
    SQLNumResultCols(session.stmt, &count);
    std::vector<BoundColumn> columns(static_cast<size_t>(count));
    bool all_before_bound = true;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        SQLSMALLINT sql_type = 0;
        SQLDescribeColW(session.stmt, c, nullptr, 0, nullptr, &sql_type, nullptr, nullptr, nullptr);
        BoundColumn& column = columns[c - 1U];
        const SQLSMALLINT c_type = bound_type(sql_type);
        // Without SQL_GD_ANY_COLUMN a driver reads unbound columns only after bound ones.
        if (c_type == 0 || !(bind_anywhere || all_before_bound)) {
            all_before_bound = false;
            continue;
        }
        column.c_type = c_type;
        SQLBindCol(session.stmt, c, c_type, column.bytes, sizeof column.bytes, &column.indicator);
    }
    std::vector<SQLWCHAR> buffer(4096);
    // Room for every value at once: the record set never moves a row it has read either.
    cells.reserve(expected_cells);
    while (SQLFetch(session.stmt) == SQL_SUCCESS) {
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
            const BoundColumn& column = columns[c - 1U];
            if (column.c_type != 0) {
                cells.push_back(bound_cell(column));
                continue;
            }
            std::u16string text;
            SQLLEN indicator = 0;
            SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
            while (rc == SQL_SUCCESS_WITH_INFO) {
                rc = SQLGetData(session.stmt, c, SQL_C_WCHAR, buffer.data(),
                                static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
                if (SQL_SUCCEEDED(rc) && indicator != SQL_NULL_DATA) {
                    const size_t whole = buffer.size() - 1;
                    const size_t units =
                        rc == SQL_SUCCESS_WITH_INFO
                            ? whole
                            : std::min(whole, static_cast<size_t>(indicator) / sizeof(SQLWCHAR));
                    text.append(reinterpret_cast<const char16_t*>(buffer.data()), units);
                }
            }
            if (indicator == SQL_NULL_DATA) {
                cells.emplace_back(std::monostate{});
            } else {
                cells.emplace_back(std::move(text));
            }
        }
    }
    SQLFreeStmt(session.stmt, SQL_CLOSE);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.cpu_seconds = cpu_seconds() - cpu_start;
    for (const Cell& cell : cells) {
        result.cells += std::holds_alternative<std::monostate>(cell) ? 0 : 1;
    }
    result.ok = true;
    return result;
}

bool run_statement(const char16_t* connection_string, const char16_t* sql) {
    Session session(connection_string);
    if (!session.connected()) {
        return false;
    }
    const SQLRETURN rc = SQLExecDirectW(session.stmt, wide(sql), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        report(session.stmt);
        return false;
    }
    return true;
}

PeerResult put_file(const char16_t* connection_string, const char16_t* update, const char* file) {
    PeerResult result;
    Session session(connection_string);
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!session.connected() || !in) {
        return result;
    }
    const auto size = static_cast<SQLLEN>(in.tellg());
    in.seekg(0);
    reset_peak();
    const long before = resident_kib();
    const auto start = Clock::now();
    SQLLEN indicator = SQL_LEN_DATA_AT_EXEC(size);
    SQLBindParameter(session.stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                     static_cast<SQLULEN>(size), 0, reinterpret_cast<SQLPOINTER>(1), 0, &indicator);
    SQLRETURN rc = SQLExecDirectW(session.stmt, wide(update), SQL_NTS);
    std::vector<unsigned char> piece(32768);
    while (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        rc = SQLParamData(session.stmt, &token);
        if (rc != SQL_NEED_DATA) {
            break;
        }
        while (in) {
            in.read(reinterpret_cast<char*>(piece.data()),
                    static_cast<std::streamsize>(piece.size()));
            const auto got = static_cast<size_t>(in.gcount());
            if (got == 0) {
                break;
            }
            SQLPutData(session.stmt, piece.data(), static_cast<SQLLEN>(got));
            result.bytes += got;
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peak_kib = peak_kib() - before;
    result.ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!result.ok) {
        report(session.stmt);
    }
    return result;
}

PeerResult get_binary(const char16_t* connection_string, const char16_t* query, int column) {
    PeerResult result;
    Session session(connection_string);
    if (!session.connected()) {
        return result;
    }
    reset_peak();
    const long before = resident_kib();
    const auto start = Clock::now();
    if (!SQL_SUCCEEDED(SQLExecDirectW(session.stmt, wide(query), SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLFetch(session.stmt))) {
        report(session.stmt);
        return result;
    }
    const auto number = static_cast<SQLUSMALLINT>(column);
    unsigned char probe = 0;
    SQLLEN length = 0;
    SQLRETURN rc = SQLGetData(session.stmt, number, SQL_C_BINARY, &probe, 0, &length);
    std::vector<unsigned char> value;
    if (SQL_SUCCEEDED(rc) && length > 0) {
        value.resize(static_cast<size_t>(length));
        SQLLEN indicator = 0;
        rc = SQLGetData(session.stmt, number, SQL_C_BINARY, value.data(),
                        static_cast<SQLLEN>(value.size()), &indicator);
        result.bytes = value.size();
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peak_kib = peak_kib() - before;
    result.ok = rc == SQL_SUCCESS;
    return result;
}

} // namespace bench_db
