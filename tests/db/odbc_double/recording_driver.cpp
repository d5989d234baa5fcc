// A test double of an ODBC driver that delivers a batch's results in the order SQL
// Server's driver does: the error of a later statement only when SQLMoreResults reaches
// its result, and output values only once SQLMoreResults has answered SQL_NO_DATA. The
// driver manager loads it like any driver. It records the calls that matter, one line
// each, in the file named by PELTO_ODBC_DOUBLE_RECORD.
//
// Its statements are scripts of results separated by ";":
//   count N             a statement that affected N rows
//   rows N              a result with rows (skipped by SQLMoreResults)
//   error STATE text    a statement that failed with that SQLSTATE and message
//   out N               the value every output parameter receives after the last result
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
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
    SQLPOINTER buffer = nullptr;
    SQLLEN buffer_length = 0;
    SQLLEN* indicator = nullptr;
};

struct Statement : Handle {
    std::vector<Result> results;
    size_t current = 0;
    std::string out;
    std::vector<BoundParameter> parameters;
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
    s.parameters[number - 1U] = BoundParameter{io, c_type, buffer, buffer_length, indicator};
    std::ostringstream line;
    line << "bind " << number << " io " << io << " sql " << sql_type << " size " << size
         << " digits " << digits;
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
    *columns =
        s.current < s.results.size() && s.results[s.current].kind == Result::Kind::Rows ? 1 : 0;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT statement, SQLLEN* count) {
    const auto& s = *static_cast<Statement*>(statement);
    *count = s.current < s.results.size() && s.results[s.current].kind == Result::Kind::Count
                 ? s.results[s.current].count
                 : -1;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT statement) {
    auto& s = *static_cast<Statement*>(statement);
    s.diagnostics.clear();
    if (s.current >= s.results.size()) {
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

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT, SQLUSMALLINT) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT) {
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
