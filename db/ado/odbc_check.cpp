#include "db/ado/odbc_check.h"

#include "db/ado/odbc_api.h"

#include <string>

namespace pelto::ado {

namespace {

// What the error says when the driver left no record to say it.
Text without_record(std::string_view function, int16_t rc) {
    return from_utf8(std::string(function) + " failed (return code " + std::to_string(rc) +
                     ") and the driver left no diagnostic record.");
}

Error failure_of(int16_t rc, const odbc::Handle& handle, std::string_view function,
                 OdbcContext context, TextView source) {
    return odbc_error(read_diagnostics(handle), context, source, without_record(function, rc));
}

} // namespace

bool OdbcStatus::no_data() const {
    return rc == SQL_NO_DATA;
}

bool OdbcStatus::need_data() const {
    return rc == SQL_NEED_DATA;
}

bool OdbcStatus::unsupported() const {
    if (!failure) {
        return false;
    }
    const Text& state = failure->sql_state;
    return state == u"IM001" || state == u"HYC00" || state == u"HY092" || state == u"HY096";
}

void OdbcStatus::or_raise() const {
    if (failure) {
        throw VbError(*failure);
    }
}

int16_t check(int16_t rc, const odbc::Handle& handle, std::string_view function,
              OdbcContext context, TextView source) {
    if (!SQL_SUCCEEDED(rc)) {
        throw VbError(failure_of(rc, handle, function, context, source));
    }
    return rc;
}

OdbcStatus answer(int16_t rc, const odbc::Handle& handle, std::string_view function,
                  OdbcContext context, TextView source) {
    OdbcStatus status;
    status.rc = rc;
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA && rc != SQL_NEED_DATA) {
        status.failure = failure_of(rc, handle, function, context, source);
    }
    return status;
}

} // namespace pelto::ado
