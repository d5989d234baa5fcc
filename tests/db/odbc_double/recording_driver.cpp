// A test double of an ODBC driver that stands in for SQL Server's. The driver manager
// loads it like any driver. It records the calls that matter, one line each, in the file
// named by PELTO_ODBC_DOUBLE_RECORD.
//
// SQL text (SELECT, INSERT, UPDATE, CREATE TABLE, the transaction statements) is answered
// from tables with SQL Server's types (sql_server_tables.h): columns are described as its
// driver describes them, values are read and bound in every C type the ADO layer uses,
// and a parameter is compared in its column's form.
//
// Any other statement is a script of results, delivered in the order SQL Server's driver
// delivers a batch's: the error of a later statement only when SQLMoreResults reaches its
// result, and output values only once SQLMoreResults has answered SQL_NO_DATA. Its results
// are separated by ";":
//   count N             a statement that affected N rows
//   rows N              a result with rows (skipped by SQLMoreResults)
//   error STATE text    a statement that failed with that SQLSTATE and message
//   out N               the value every output parameter receives after the last result
#include "tests/db/odbc_double/sql_server_tables.h"
#include "tests/db/odbc_double/value_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Diagnostic {
    std::string state;
    std::string message;
};

struct Handle {
    virtual ~Handle() = default;
    SQLSMALLINT type = 0;
    std::vector<Diagnostic> diagnostics;
};

struct Result {
    enum class Kind { Count, Rows, Error } kind = Kind::Count;
    long count = 0;
    Diagnostic error;
};

struct BoundParameter {
    SQLSMALLINT io = SQL_PARAM_INPUT;
    SQLSMALLINT c_type = 0;
    SQLSMALLINT sql_type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLPOINTER buffer = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN* indicator = nullptr;
};

struct BoundColumn {
    SQLSMALLINT c_type = 0;
    SQLPOINTER buffer = nullptr;
    SQLLEN length = 0;
    SQLLEN* indicator = nullptr;
};

// The rows of an answered SELECT (or of SQLPrimaryKeys) and where reading stands.
struct Rows {
    odbc_double::Result result;
    size_t row = 0;              // the current row counted from 1; 0 before the first
    std::vector<size_t> offsets; // by column: units or bytes already read by SQLGetData
    std::vector<bool> finished;  // by column: read to its end
};

struct Statement : Handle {
    std::vector<Result> results;
    size_t current = 0;
    std::string out;
    std::vector<BoundParameter> parameters;
    std::optional<Rows> rows; // SQL text answered from the tables
    long table_affected = -1;
    std::vector<BoundColumn> bound;
};

void record(const std::string& line) {
    const char* path = std::getenv("PELTO_ODBC_DOUBLE_RECORD");
    if (path != nullptr) {
        std::ofstream(path, std::ios::app) << line << "\n";
    }
}

// The driver's handles, owned here; the driver manager holds their addresses.
std::map<void*, std::unique_ptr<Handle>>& handles() {
    static std::map<void*, std::unique_ptr<Handle>> all;
    return all;
}

SQLWCHAR wide_unit(char c) {
    return static_cast<SQLWCHAR>(static_cast<unsigned char>(c));
}

std::string narrow(const SQLWCHAR* text, SQLINTEGER length) {
    std::string out;
    for (SQLINTEGER i = 0; length == SQL_NTS ? text[i] != 0 : i < length; ++i) {
        out.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
    }
    return out;
}

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

SQLRETURN fail(Handle& handle, const Diagnostic& diagnostic) {
    handle.diagnostics.push_back(diagnostic);
    return SQL_ERROR;
}

void write_outputs(Statement& s) {
    if (s.out.empty()) {
        return;
    }
    for (auto& p : s.parameters) {
        if (p.io == SQL_PARAM_INPUT || p.buffer == nullptr) {
            continue;
        }
        if (p.c_type == SQL_C_SLONG) {
            const SQLINTEGER value = std::atoi(s.out.c_str());
            std::memcpy(p.buffer, &value, sizeof value);
            if (p.indicator != nullptr) {
                *p.indicator = sizeof value;
            }
        } else if (p.c_type == SQL_C_WCHAR) {
            auto* target = static_cast<SQLWCHAR*>(p.buffer);
            const size_t room = static_cast<size_t>(p.buffer_length) / sizeof(SQLWCHAR);
            size_t n = 0;
            for (; n < s.out.size() && n + 1 < room; ++n) {
                target[n] = wide_unit(s.out[n]);
            }
            target[n] = 0;
            if (p.indicator != nullptr) {
                *p.indicator = static_cast<SQLLEN>(n * sizeof(SQLWCHAR));
            }
        }
    }
    record("outputs written");
}

std::u16string wide_text(const SQLWCHAR* text, SQLINTEGER length) {
    std::u16string out;
    for (SQLINTEGER i = 0; length == SQL_NTS ? text[i] != 0 : i < length; ++i) {
        out.push_back(static_cast<char16_t>(text[i]));
    }
    return out;
}

// A wide text into an application's buffer of `bytes` bytes, its length in bytes.
void put_wide(const std::u16string& text, SQLPOINTER buffer, SQLSMALLINT bytes,
              SQLSMALLINT* length) {
    auto* target = static_cast<SQLWCHAR*>(buffer);
    const size_t room = bytes > 0 ? static_cast<size_t>(bytes) / sizeof(SQLWCHAR) : 0;
    size_t n = 0;
    for (; target != nullptr && n < text.size() && n + 1 < room; ++n) {
        target[n] = text[n];
    }
    if (target != nullptr && room > 0) {
        target[n] = 0;
    }
    if (length != nullptr) {
        *length = static_cast<SQLSMALLINT>(text.size() * sizeof(SQLWCHAR));
    }
}

void open_rows(Statement& s, odbc_double::Result result) {
    s.table_affected = result.affected;
    const size_t columns = result.columns.size();
    if (columns == 0) {
        s.rows.reset();
        return;
    }
    s.rows = Rows{std::move(result), 0, std::vector<size_t>(columns), std::vector<bool>(columns)};
}

// A statement answered from the tables, with the parameters bound to it.
SQLRETURN run_on_tables(Statement& s, const std::u16string& sql) {
    std::vector<odbc_double::Param> params;
    for (const auto& p : s.parameters) {
        params.push_back({p.c_type, p.sql_type, p.size, p.digits, p.buffer,
                          p.indicator != nullptr ? static_cast<long>(*p.indicator) : 0L});
    }
    try {
        open_rows(s, odbc_double::run(sql, params));
    } catch (const odbc_double::Failure& f) {
        return fail(s, {f.state, f.message});
    }
    return SQL_SUCCESS;
}

const odbc_double::ResultColumn* column_of(const Statement& s, SQLUSMALLINT column) {
    if (!s.rows || column < 1 || column > s.rows->result.columns.size()) {
        return nullptr;
    }
    return &s.rows->result.columns[column - 1U];
}

// Enters result `s.current`: its error, if it is one.
SQLRETURN enter_result(Statement& s) {
    const Result& result = s.results[s.current];
    if (result.kind == Result::Kind::Error) {
        return fail(s, result.error);
    }
    return SQL_SUCCESS;
}

} // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE /*parent*/, SQLHANDLE* out) {
    std::unique_ptr<Handle> made =
        type == SQL_HANDLE_STMT ? std::make_unique<Statement>() : std::make_unique<Handle>();
    made->type = type;
    *out = made.get();
    handles()[made.get()] = std::move(made);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT /*type*/, SQLHANDLE handle) {
    handles().erase(handle);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    if (attribute == SQL_ATTR_AUTOCOMMIT) {
        record(reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_ON ? "autocommit on"
                                                                     : "autocommit off");
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC, SQLHWND, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* out,
                                    SQLSMALLINT out_length, SQLSMALLINT* length, SQLUSMALLINT) {
    if (out != nullptr && out_length > 0) {
        out[0] = 0;
    }
    if (length != nullptr) {
        *length = 0;
    }
    record("connected");
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT length,
                              SQLSMALLINT* out_length) {
    const auto text = [&](const char* s) {
        auto* target = static_cast<SQLWCHAR*>(value);
        const size_t room = static_cast<size_t>(length) / sizeof(SQLWCHAR);
        size_t n = 0;
        for (; s[n] != 0 && n + 1 < room; ++n) {
            target[n] = wide_unit(s[n]);
        }
        if (room > 0) {
            target[n] = 0;
        }
        if (out_length != nullptr) {
            *out_length = static_cast<SQLSMALLINT>(n * sizeof(SQLWCHAR));
        }
    };
    switch (type) {
    case SQL_DRIVER_ODBC_VER:
        text("03.00");
        break;
    case SQL_DBMS_NAME:
        text("Microsoft SQL Server");
        break;
    case SQL_IDENTIFIER_QUOTE_CHAR:
        text("\"");
        break;
    case SQL_GETDATA_EXTENSIONS: // unbound columns only after the bound ones, in order
        *static_cast<SQLUINTEGER*>(value) = SQL_GD_BOUND;
        break;
    default:
        if (value != nullptr && length >= static_cast<SQLSMALLINT>(sizeof(SQLUINTEGER))) {
            std::memset(value, 0, sizeof(SQLUINTEGER));
        }
        break;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT io,
                                   SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN size,
                                   SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
                                   SQLLEN* indicator) {
    auto& s = *static_cast<Statement*>(statement);
    if (s.parameters.size() < number) {
        s.parameters.resize(number);
    }
    s.parameters[number - 1U] =
        BoundParameter{io, c_type, sql_type, size, digits, buffer, buffer_length, indicator};
    std::ostringstream line;
    line << "bind " << number << " io " << io << " c " << c_type << " sql " << sql_type << " size "
         << size << " digits " << digits;
    record(line.str());
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT statement, SQLWCHAR* text, SQLINTEGER length) {
    auto& s = *static_cast<Statement*>(statement);
    s.diagnostics.clear();
    const std::string script = narrow(text, length);
    record("execute " + script);
    s.results.clear();
    s.current = 0;
    s.rows.reset();
    s.table_affected = -1;
    const std::u16string sql = wide_text(text, length);
    if (odbc_double::is_table_statement(sql)) {
        return run_on_tables(s, sql);
    }
    std::istringstream parts(script);
    std::string part;
    while (std::getline(parts, part, ';')) {
        std::istringstream words(trimmed(part));
        std::string word;
        words >> word;
        Result result;
        if (word == "count" || word == "rows") {
            result.kind = word == "count" ? Result::Kind::Count : Result::Kind::Rows;
            words >> result.count;
        } else if (word == "error") {
            result.kind = Result::Kind::Error;
            words >> result.error.state;
            std::getline(words, result.error.message);
            result.error.message = trimmed(result.error.message);
        } else if (word == "out") {
            words >> s.out;
            continue;
        } else {
            return fail(s, {"42000", "The test double does not know '" + part + "'."});
        }
        s.results.push_back(result);
    }
    if (s.results.empty()) {
        return fail(s, {"42000", "An empty script."});
    }
    return enter_result(s);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT statement, SQLSMALLINT* columns) {
    const auto& s = *static_cast<Statement*>(statement);
    if (s.rows) {
        *columns = static_cast<SQLSMALLINT>(s.rows->result.columns.size());
        return SQL_SUCCESS;
    }
    *columns =
        s.current < s.results.size() && s.results[s.current].kind == Result::Kind::Rows ? 1 : 0;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT statement, SQLLEN* count) {
    const auto& s = *static_cast<Statement*>(statement);
    if (s.results.empty()) {
        *count = s.table_affected;
        return SQL_SUCCESS;
    }
    *count = s.current < s.results.size() && s.results[s.current].kind == Result::Kind::Count
                 ? s.results[s.current].count
                 : -1;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT statement) {
    auto& s = *static_cast<Statement*>(statement);
    s.diagnostics.clear();
    if (s.current >= s.results.size()) {
        s.rows.reset(); // an answered statement has one result
        return SQL_NO_DATA;
    }
    ++s.current;
    if (s.current == s.results.size()) {
        record("more results: none");
        write_outputs(s);
        return SQL_NO_DATA;
    }
    record("more results: " + std::to_string(s.current + 1));
    return enter_result(s);
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT, SQLPOINTER*) {
    return SQL_ERROR;
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT, SQLPOINTER, SQLLEN) {
    return SQL_ERROR;
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT statement, SQLUSMALLINT option) {
    auto& s = *static_cast<Statement*>(statement);
    if (option == SQL_UNBIND) {
        s.bound.clear();
    } else if (option == SQL_CLOSE) {
        s.rows.reset();
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT statement) {
    static_cast<Statement*>(statement)->rows.reset();
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT statement, SQLUSMALLINT column, SQLWCHAR* name,
                                  SQLSMALLINT name_room, SQLSMALLINT* name_length,
                                  SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
    auto& s = *static_cast<Statement*>(statement);
    const odbc_double::ResultColumn* c = column_of(s, column);
    if (c == nullptr) {
        return fail(s, {"07009", "Invalid descriptor index"});
    }
    put_wide(c->label, name, static_cast<SQLSMALLINT>(name_room * sizeof(SQLWCHAR)), name_length);
    if (name_length != nullptr) {
        *name_length = static_cast<SQLSMALLINT>(c->label.size());
    }
    *type = c->type.sql_type;
    *size = c->type.size;
    *digits = c->type.digits;
    *nullable = SQL_NULLABLE;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field,
                                   SQLPOINTER value, SQLSMALLINT bytes, SQLSMALLINT* length,
                                   SQLLEN* number) {
    auto& s = *static_cast<Statement*>(statement);
    const odbc_double::ResultColumn* c = column_of(s, column);
    if (c == nullptr) {
        return fail(s, {"07009", "Invalid descriptor index"});
    }
    switch (field) {
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_TABLE_NAME:
        put_wide(c->table, value, bytes, length);
        break;
    case SQL_DESC_BASE_COLUMN_NAME:
        put_wide(c->base, value, bytes, length);
        break;
    case SQL_DESC_TYPE_NAME:
        put_wide(std::u16string(c->type.name.begin(), c->type.name.end()), value, bytes, length);
        break;
    case SQL_DESC_SCHEMA_NAME:
        put_wide(u"dbo", value, bytes, length);
        break;
    default:
        put_wide(u"", value, bytes, length);
        if (number != nullptr) {
            *number = 0;
        }
        break;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT c_type,
                             SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) {
    auto& s = *static_cast<Statement*>(statement);
    if (s.bound.size() < column) {
        s.bound.resize(column);
    }
    s.bound[column - 1U] = BoundColumn{c_type, buffer, length, indicator};
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT statement) {
    auto& s = *static_cast<Statement*>(statement);
    s.diagnostics.clear();
    if (!s.rows || s.rows->row >= s.rows->result.rows.size()) {
        return SQL_NO_DATA;
    }
    Rows& rows = *s.rows;
    const auto& row = rows.result.rows[rows.row++];
    std::fill(rows.offsets.begin(), rows.offsets.end(), 0);
    std::fill(rows.finished.begin(), rows.finished.end(), false);
    for (size_t c = 0; c < s.bound.size() && c < row.size(); ++c) {
        const BoundColumn& b = s.bound[c];
        if (b.buffer == nullptr) {
            continue;
        }
        const auto read = odbc_double::read_value(row[c], rows.result.columns[c].type, b.c_type,
                                                  b.buffer, b.length, b.indicator, 0);
        if (read.rc == SQL_ERROR) {
            return fail(s, {read.state, read.message});
        }
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT c_type,
                             SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) {
    auto& s = *static_cast<Statement*>(statement);
    s.diagnostics.clear();
    if (!s.rows || s.rows->row == 0 || column_of(s, column) == nullptr) {
        return fail(s, {"24000", "Invalid cursor state"});
    }
    Rows& rows = *s.rows;
    const size_t c = column - 1U;
    if (rows.finished[c]) {
        return SQL_NO_DATA;
    }
    const auto read =
        odbc_double::read_value(rows.result.rows[rows.row - 1][c], rows.result.columns[c].type,
                                c_type, buffer, length, indicator, rows.offsets[c]);
    if (read.rc == SQL_ERROR) {
        return fail(s, {read.state, read.message});
    }
    rows.offsets[c] = read.next_offset;
    rows.finished[c] = read.rc == SQL_SUCCESS;
    return read.rc;
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT statement, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                  SQLSMALLINT, SQLWCHAR* table, SQLSMALLINT length) {
    auto& s = *static_cast<Statement*>(statement);
    s.results.clear();
    try {
        open_rows(s, odbc_double::primary_keys(wide_text(table, length)));
    } catch (const odbc_double::Failure& f) {
        return fail(s, {f.state, f.message});
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE, SQLSMALLINT completion) {
    record(completion == SQL_COMMIT ? "commit" : "rollback");
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT record_number,
                                   SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT, SQLSMALLINT*) {
    const auto& h = *static_cast<Handle*>(handle);
    if (record_number == 0 && field == SQL_DIAG_NUMBER) {
        *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(h.diagnostics.size());
        return SQL_SUCCESS;
    }
    return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT number, SQLWCHAR* state,
                                 SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT length,
                                 SQLSMALLINT* out_length) {
    const auto& h = *static_cast<Handle*>(handle);
    if (number < 1 || static_cast<size_t>(number) > h.diagnostics.size()) {
        return SQL_NO_DATA;
    }
    const Diagnostic& d = h.diagnostics[static_cast<size_t>(number) - 1];
    for (size_t i = 0; i < 5; ++i) {
        state[i] = wide_unit(i < d.state.size() ? d.state[i] : '0');
    }
    state[5] = 0;
    if (native != nullptr) {
        *native = 8134;
    }
    size_t n = 0;
    for (; message != nullptr && n < d.message.size() && n + 1 < static_cast<size_t>(length); ++n) {
        message[n] = wide_unit(d.message[n]);
    }
    if (message != nullptr && length > 0) {
        message[n] = 0;
    }
    if (out_length != nullptr) {
        *out_length = static_cast<SQLSMALLINT>(d.message.size());
    }
    return SQL_SUCCESS;
}

} // extern "C"
