// The one door every ODBC call's return code passes through. It knows the handle whose
// diagnostics explain a failure, the name of the function that was called and where in
// the ADO model the call ran, so that every error carries the driver's SQLSTATE and
// native code, and one that came without a record still names the function.
#pragma once

#include "core/error.h"
#include "db/ado/ado_error.h"
#include "db/ado/odbc_handle.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace pelto::ado {

// ODBC's return codes the door lets through without reading diagnostics (the values of
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NEED_DATA and SQL_NO_DATA; odbc_check.cpp
// holds them against the ODBC headers). Every cell of a result passes here, so the
// usual outcome costs no call.
namespace odbc_rc {
constexpr int16_t kSuccess = 0;
constexpr int16_t kSuccessWithInfo = 1;
constexpr int16_t kNeedData = 99;
constexpr int16_t kNoData = 100;
} // namespace odbc_rc

// What a call whose failure is an answer returned: the return code, and the error its
// diagnostics describe when it failed. SQL_NO_DATA and SQL_NEED_DATA are answers, not
// failures. Every fetched row and every text cell gets a status, so one without a
// failure is a return code and an empty pointer.
struct OdbcStatus {
    int16_t rc = 0;
    std::unique_ptr<Error> failure;

    bool failed() const { return failure != nullptr; }
    // No (more) rows, nothing affected, nothing more to send.
    bool no_data() const { return rc == odbc_rc::kNoData; }
    // The driver asks for a value sent at execution.
    bool need_data() const { return rc == odbc_rc::kNeedData; }
    // The driver or the driver manager said the function or the feature does not exist
    // (IM001, HYC00, HY092, HY096): the caller goes on without it.
    bool unsupported() const;
    // Throws the failure, if there is one.
    void or_raise() const;
};

// The return code of a call that must succeed (with or without information); anything
// else throws the error of the handle's most telling diagnostic record.
[[noreturn]] void raise_failed_call(int16_t rc, const odbc::Handle& handle,
                                    std::string_view function, OdbcContext context,
                                    TextView source);
inline int16_t check(int16_t rc, const odbc::Handle& handle, std::string_view function,
                     OdbcContext context, TextView source) {
    if (rc != odbc_rc::kSuccess && rc != odbc_rc::kSuccessWithInfo) {
        raise_failed_call(rc, handle, function, context, source);
    }
    return rc;
}

// The same door for a call whose failure the caller answers itself: the diagnostics of a
// failed call are read into the status instead of being thrown.
OdbcStatus failed_call(int16_t rc, const odbc::Handle& handle, std::string_view function,
                       OdbcContext context, TextView source);
inline OdbcStatus answer(int16_t rc, const odbc::Handle& handle, std::string_view function,
                         OdbcContext context, TextView source) {
    if (rc == odbc_rc::kSuccess || rc == odbc_rc::kSuccessWithInfo || rc == odbc_rc::kNoData ||
        rc == odbc_rc::kNeedData) {
        return OdbcStatus{rc, nullptr};
    }
    return failed_call(rc, handle, function, context, source);
}

} // namespace pelto::ado
