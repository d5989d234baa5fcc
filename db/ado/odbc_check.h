// The one door every ODBC call's return code passes through. It knows the handle whose
// diagnostics explain a failure, the name of the function that was called and where in
// the ADO model the call ran, so that every error carries the driver's SQLSTATE and
// native code, and one that came without a record still names the function.
#pragma once

#include "core/error.h"
#include "db/ado/ado_error.h"
#include "db/ado/odbc_handle.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelto::ado {

// What a call whose failure is an answer returned: the return code, and the error its
// diagnostics describe when it failed. SQL_NO_DATA and SQL_NEED_DATA are answers, not
// failures.
struct OdbcStatus {
    int16_t rc = 0;
    std::optional<Error> failure;

    bool failed() const { return failure.has_value(); }
    bool no_data() const;   // no (more) rows, nothing affected, nothing more to send
    bool need_data() const; // the driver asks for a value sent at execution
    // The driver or the driver manager said the function or the feature does not exist
    // (IM001, HYC00, HY092, HY096): the caller goes on without it.
    bool unsupported() const;
    // Throws the failure, if there is one.
    void or_raise() const;
};

// The return code of a call that must succeed (with or without information); anything
// else throws the error of the handle's most telling diagnostic record.
int16_t check(int16_t rc, const odbc::Handle& handle, std::string_view function,
              OdbcContext context, TextView source);

// The same door for a call whose failure the caller answers itself: the diagnostics of a
// failed call are read into the status instead of being thrown.
OdbcStatus answer(int16_t rc, const odbc::Handle& handle, std::string_view function,
                  OdbcContext context, TextView source);

} // namespace pelto::ado
