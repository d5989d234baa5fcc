#include "db/ado/ado_error.h"

#include "db/ado/odbc_api.h"

#include <array>
#include <string_view>

namespace pelto::ado {

namespace {

// SQLSTATE (or its leading characters) to the number ADO reports for a failed
// statement. The first matching row wins, so the longer, more specific states come
// first; a row with a message fragment matches only a record whose message holds it
// (drivers that report everything as HY000 name the cause only in their text).
// kContextDefault marks the rows whose number depends on where the failure happened.
// Opening a connection is not in this table: there every failure but a refused login is
// E_FAIL, as SQL Server's provider reports it ("Cannot open database" included).
constexpr int32_t kContextDefault = 0;

struct StateRow {
    std::u16string_view prefix;
    std::u16string_view message; // empty: any message
    int32_t number;
};

constexpr std::array kStateTable{
    StateRow{u"28", u"", adoerr::kLoginFailed},       // invalid authorization: login refused
    StateRow{u"08", u"", adoerr::kFail},              // connection failure or connection lost
    StateRow{u"57014", u"", adoerr::kTimeout},        // PostgreSQL: statement time-out
    StateRow{u"57P", u"", adoerr::kFail},             // PostgreSQL: the server ended the session
    StateRow{u"HYT", u"", adoerr::kTimeout},          // time-out expired
    StateRow{u"IM001", u"", adoerr::kNotImplemented}, // driver lacks the function
    StateRow{u"HYC00", u"", adoerr::kNotImplemented}, // optional feature not implemented
    StateRow{u"IM", u"", adoerr::kFail},              // driver manager: no such DSN or driver
    StateRow{u"42S02", u"", adoerr::kInvalidObject},  // table or view not found
    StateRow{u"42P01", u"", adoerr::kInvalidObject},  // PostgreSQL: relation does not exist
    StateRow{u"42", u"", adoerr::kSyntaxOrAccess},    // syntax error or access violation
    StateRow{u"23", u"", adoerr::kIntegrity},         // integrity constraint violation
    StateRow{u"22001", u"", adoerr::kDataOverflow},   // string data right-truncated
    StateRow{u"22003", u"", adoerr::kDataOverflow},   // numeric value out of range
    StateRow{u"22012", u"", adoerr::kSyntaxOrAccess}, // division by zero, an error in the command
    StateRow{u"22", u"", adoerr::kTypeMismatch},      // other data exceptions: conversions
    StateRow{u"07002", u"", adoerr::kMissingValue},   // parameter count does not match
    StateRow{u"07", u"", adoerr::kTypeMismatch},      // dynamic SQL: restricted data type
    StateRow{u"HY008", u"", adoerr::kCanceled},       // operation canceled
    StateRow{u"40002", u"", adoerr::kIntegrity},      // a constraint failed at commit
    // A deadlock victim or a serialization failure: the statement failed, the connection
    // is sound (a reconnection would only lose the session).
    StateRow{u"40", u"", adoerr::kSyntaxOrAccess},
    StateRow{u"HY000", u"no such table", adoerr::kInvalidObject}, // SQLite
    StateRow{u"HY", u"", kContextDefault},                        // general driver errors
};

const StateRow* state_row(std::u16string_view state, std::u16string_view message) {
    for (const auto& row : kStateTable) {
        if (state.starts_with(row.prefix) &&
            (row.message.empty() || message.find(row.message) != std::u16string_view::npos)) {
            return &row;
        }
    }
    return nullptr;
}

int32_t context_default(OdbcContext context) {
    return context == OdbcContext::Transaction ? adoerr::kFail : adoerr::kSyntaxOrAccess;
}

// How much a record tells about the failure: a refused login beats a lost connection,
// which beats anything else (FreeTDS reports 08S01 and then 08001; psqlODBC 57P01 and
// then 08S01).
int weight(std::u16string_view state) {
    if (state.starts_with(u"28")) {
        return 3;
    }
    if (state.starts_with(u"08") || state.starts_with(u"57P")) {
        return 2;
    }
    if (state.starts_with(u"01")) {
        return 0; // a warning, never the cause
    }
    return 1;
}

} // namespace

std::vector<DiagRecord> read_diagnostics(const odbc::Handle& handle) {
    std::vector<DiagRecord> records;
    if (!handle) {
        return records;
    }
    for (SQLSMALLINT i = 1;; ++i) {
        std::array<char16_t, 6> state{};
        std::array<char16_t, 1024> message{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(static_cast<SQLSMALLINT>(handle.type()), handle.get(),
                                            i, odbc::wide_buffer(state.data()), &native,
                                            odbc::wide_buffer(message.data()),
                                            static_cast<SQLSMALLINT>(message.size()), &length);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        records.push_back({odbc::text_of(state.data(), 5), native,
                           odbc::text_of(message.data(), message.size())});
    }
    return records;
}

int32_t ado_number(TextView sql_state, OdbcContext context, TextView message) {
    if (context == OdbcContext::Connect) {
        return sql_state.starts_with(u"28") ? adoerr::kLoginFailed : adoerr::kFail;
    }
    const StateRow* row = state_row(sql_state, message);
    return row == nullptr || row->number == kContextDefault ? context_default(context)
                                                            : row->number;
}

Error odbc_error(const std::vector<DiagRecord>& records, OdbcContext context, TextView source,
                 TextView fallback) {
    const DiagRecord* telling = nullptr;
    for (const auto& record : records) {
        if (telling == nullptr || weight(record.state) > weight(telling->state)) {
            telling = &record;
        }
    }
    if (telling == nullptr || weight(telling->state) == 0) {
        const int32_t number =
            context == OdbcContext::Statement ? adoerr::kSyntaxOrAccess : adoerr::kFail;
        if (telling != nullptr && !telling->message.empty()) {
            // e.g. the driver manager's "Can't open lib"
            return Error{number, Text(source), telling->message, telling->state, telling->native};
        }
        return Error{number, Text(source), Text(fallback)};
    }
    return Error{ado_number(telling->state, context, telling->message), Text(source),
                 telling->message, telling->state, telling->native};
}

bool connection_lost(const Error& error) {
    return error.sql_state.starts_with(u"08") || error.sql_state.starts_with(u"57P");
}

std::optional<Error> truncation_among(const std::vector<DiagRecord>& warnings, TextView source) {
    for (const auto& record : warnings) {
        if (record.state == u"01004" || record.state == u"01S07" || record.state == u"22001") {
            return Error{adoerr::kDataOverflow, Text(source), record.message, record.state,
                         record.native};
        }
    }
    return std::nullopt;
}

Error ado_error(int32_t number, TextView source) {
    return Error{number, Text(source), error_description(number)};
}

void raise(int32_t number, TextView source) {
    throw VbError(ado_error(number, source));
}

} // namespace pelto::ado
