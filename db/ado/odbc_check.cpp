#include "db/ado/odbc_check.h"

#include "db/ado/odbc_api.h"

#include <string>

namespace pelto::ado {

static_assert(odbc_rc::kSuccess == SQL_SUCCESS &&
              odbc_rc::kSuccessWithInfo == SQL_SUCCESS_WITH_INFO &&
              odbc_rc::kNeedData == SQL_NEED_DATA && odbc_rc::kNoData == SQL_NO_DATA);

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

void raise_failed_call(int16_t rc, const odbc::Handle& handle, std::string_view function,
                       OdbcContext context, TextView source) {
    throw VbError(failure_of(rc, handle, function, context, source));
}

OdbcStatus failed_call(int16_t rc, const odbc::Handle& handle, std::string_view function,
                       OdbcContext context, TextView source) {
    return OdbcStatus{rc,
                      std::make_unique<Error>(failure_of(rc, handle, function, context, source))};
}

} // namespace pelto::ado
