#include "db/ado/ado_error.h"

#include "db/ado/odbc_api.h"

#include <array>
#include <string_view>

namespace pelto::ado {

namespace {

// SQLSTATE (or its leading characters) to the number ADO reports. The first matching
// row wins, so the longer, more specific states come first. kContextDefault marks the
// rows whose number depends on where the failure happened.
constexpr int32_t kContextDefault = 0;

struct StateRow {
    std::u16string_view prefix;
    int32_t number;
};

constexpr std::array kStateTable{
    StateRow{u"28", adoerr::kLoginFailed},       // invalid authorization: login refused
    StateRow{u"08", adoerr::kFail},              // connection failure or connection lost
    StateRow{u"57P", adoerr::kFail},             // PostgreSQL: the server ended the session
    StateRow{u"HYT", kContextDefault},           // time-out: at login E_FAIL, else kTimeout
    StateRow{u"IM001", err::kNotImplemented},    // driver lacks the function
    StateRow{u"HYC00", err::kNotImplemented},    // optional feature not implemented
    StateRow{u"IM", adoerr::kFail},              // driver manager: no such DSN or driver
    StateRow{u"42S02", err::kInvalidObject},     // table or view not found
    StateRow{u"42P01", err::kInvalidObject},     // PostgreSQL: relation does not exist
    StateRow{u"42", adoerr::kSyntaxOrAccess},    // syntax error or access violation
    StateRow{u"23", err::kIntegrity},            // integrity constraint violation
    StateRow{u"22001", err::kDataOverflow},      // string data right-truncated
    StateRow{u"22003", err::kDataOverflow},      // numeric value out of range
    StateRow{u"22012", adoerr::kSyntaxOrAccess}, // division by zero, an error in the command
    StateRow{u"22", err::kTypeMismatch},         // other data exceptions: conversions
    StateRow{u"07002", err::kMissingValue},      // parameter count does not match
    StateRow{u"07", err::kTypeMismatch},         // dynamic SQL: restricted data type
    StateRow{u"HY008", err::kCanceled},          // operation canceled
    StateRow{u"40", adoerr::kFail},              // serialization failure, deadlock victim
    StateRow{u"HY", kContextDefault},            // general driver errors
};

int32_t context_default(std::u16string_view state, OdbcContext context) {
    if (context == OdbcContext::Connect) {
        return adoerr::kFail;
    }
    if (state.starts_with(u"HYT")) {
        return err::kTimeout;
    }
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

struct Description {
    int32_t number;
    std::u16string_view text;
};

constexpr std::array kAdoDescriptions{
    Description{adoerr::kClosedObject, u"Operation is not allowed when the object is closed."},
    Description{err::kObjectOpen, u"Operation is not allowed when the object is open."},
    Description{err::kInvalidConnection, u"The connection cannot be used to perform this "
                                         u"operation. It is either closed or invalid in this "
                                         u"context."},
    Description{adoerr::kNotFoundInCollection, u"Item cannot be found in the collection "
                                               u"corresponding to the requested name or "
                                               u"ordinal."},
    Description{adoerr::kBofOrEof, u"Either BOF or EOF is True, or the current record has been "
                                   u"deleted. Requested operation requires a current record."},
    Description{adoerr::kArgumentsWrongType, u"Arguments are of the wrong type, are out of "
                                             u"acceptable range, or are in conflict with one "
                                             u"another."},
    Description{err::kImproperParameter, u"Parameter object is improperly defined. Inconsistent "
                                         u"or incomplete information was provided."},
    Description{err::kDataConversion, u"Application uses a value of the wrong type for the "
                                      u"current operation."},
    Description{err::kUpdateNotSupported, u"Current Recordset does not support updating. This "
                                          u"may be a limitation of the provider, or of the "
                                          u"selected locktype."},
    Description{err::kNotAllowedHere, u"Operation is not allowed in this context."},
    Description{err::kNoCommandText, u"Command text was not set for the command object."},
    Description{err::kBadInitString, u"Format of the initialization string does not conform to "
                                     u"OLE DB."},
    Description{err::kNoTransaction, u"No transaction is active."},
    Description{err::kTransactionExists, u"Only one transaction can be active on this session."},
    Description{err::kRowNotFound, u"Row cannot be located for updating. Some values may have "
                                   u"been changed since it was last read."},
    Description{err::kNoBackwardFetch, u"Rowset does not support fetching backward."},
    Description{adoerr::kFail, u"Unspecified error"},
};

} // namespace

bool succeeded(int16_t rc) {
    return SQL_SUCCEEDED(rc);
}

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

int32_t ado_number(TextView sql_state, OdbcContext context) {
    for (const auto& row : kStateTable) {
        if (sql_state.starts_with(row.prefix)) {
            return row.number == kContextDefault ? context_default(sql_state, context) : row.number;
        }
    }
    return context_default(sql_state, context);
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
        Text description(fallback);
        if (telling != nullptr && !telling->message.empty()) {
            description = telling->message; // e.g. the driver manager's "Can't open lib"
        }
        return Error{number, Text(source), description};
    }
    return Error{ado_number(telling->state, context), Text(source), telling->message};
}

void raise_odbc(const odbc::Handle& handle, OdbcContext context, TextView source,
                TextView fallback) {
    throw VbError(odbc_error(read_diagnostics(handle), context, source, fallback));
}

Error ado_error(int32_t number, TextView source) {
    for (const auto& row : kAdoDescriptions) {
        if (row.number == number) {
            return Error{number, Text(source), Text(row.text)};
        }
    }
    return Error{number, Text(source), vb_error_description(number)};
}

void raise(int32_t number, TextView source) {
    throw VbError(ado_error(number, source));
}

} // namespace pelto::ado
