// Plain ODBC calls in the order a C program makes them: no handles wrapped, no values
// converted beyond what the driver hands out.
#include "bench/db/odbc_peer.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <string>
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

// The C type a column of `sql_type` is read as when cells are read typed.
SQLSMALLINT c_type_of(SQLSMALLINT sql_type) {
    switch (sql_type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
        return SQL_C_SLONG;
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
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return SQL_C_TYPE_TIME;
    default:
        return SQL_C_WCHAR;
    }
}

// SQLFetch and SQLGetData of every cell, as wide text or as its column's C type.
PeerResult read_all(const char16_t* connection_string, const char16_t* query, bool typed) {
    PeerResult result;
    Session session(connection_string);
    if (!session.connected()) {
        return result;
    }
    const auto start = Clock::now();
    if (!SQL_SUCCEEDED(SQLExecDirectW(session.stmt, wide(query), SQL_NTS))) {
        report(session.stmt);
        return result;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(session.stmt, &columns);
    std::vector<SQLSMALLINT> c_types(static_cast<size_t>(columns), SQL_C_WCHAR);
    for (SQLUSMALLINT c = 1; typed && c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        SQLSMALLINT sql_type = 0;
        SQLDescribeColW(session.stmt, c, nullptr, 0, nullptr, &sql_type, nullptr, nullptr, nullptr);
        c_types[c - 1U] = c_type_of(sql_type);
    }
    SQLWCHAR buffer[4096];
    while (SQLFetch(session.stmt) == SQL_SUCCESS) {
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            SQLLEN indicator = 0;
            SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
            while (rc == SQL_SUCCESS_WITH_INFO) { // the rest of a value longer than the buffer
                rc =
                    SQLGetData(session.stmt, c, c_types[c - 1U], buffer, sizeof buffer, &indicator);
            }
            result.cells += indicator == SQL_NULL_DATA ? 0 : 1;
        }
    }
    SQLFreeStmt(session.stmt, SQL_CLOSE); // the result's rows are let go, as a record set does
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.ok = true;
    return result;
}

} // namespace

PeerResult read_all_as_text(const char16_t* connection_string, const char16_t* query) {
    return read_all(connection_string, query, /*typed=*/false);
}

PeerResult read_all_typed(const char16_t* connection_string, const char16_t* query) {
    return read_all(connection_string, query, /*typed=*/true);
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
    std::vector<unsigned char> piece(65536);
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
    while (rc == SQL_SUCCESS_WITH_INFO) {
        rc = SQLGetData(session.stmt, static_cast<SQLUSMALLINT>(column), SQL_C_BINARY, piece.data(),
                        static_cast<SQLLEN>(piece.size()), &indicator);
        if (SQL_SUCCEEDED(rc) && indicator != SQL_NULL_DATA) {
            result.bytes +=
                indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(piece.size())
                    ? piece.size()
                    : static_cast<size_t>(indicator);
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peak_kib = peak_kib() - before;
    result.ok = rc == SQL_SUCCESS || rc == SQL_NO_DATA;
    return result;
}

} // namespace bench_db
