#include "core/error.h"

#include <new>

namespace pelto {

Text vb_error_description(int32_t number) {
    return error_description(number);
}

VbError::VbError(Error error)
    : error_(std::move(error)),
      what_(std::to_string(error_.number) + " " + to_utf8(error_.description)) {}

VbError::VbError(int32_t number, Text source, Text description)
    : VbError(Error{number, std::move(source), std::move(description)}) {}

VbError VbError::runtime(int32_t number, TextView source) {
    return VbError(number, Text(source), error_description(number));
}

Error current_error() {
    try {
        throw;
    } catch (const VbError& e) {
        return e.error();
    } catch (const std::bad_alloc&) {
        return VbError::runtime(vberr::kOutOfMemory).error();
    } catch (const std::exception& e) {
        // Neither VB's nor ADO's: never E_FAIL, which GetRecordSet takes for a lost
        // connection.
        return Error{vberr::kInternalError, u"PeltoUserInstall_H",
                     error_description(vberr::kInternalError) + u": " + from_utf8(e.what())};
    } catch (...) {
        return Error{vberr::kInternalError, u"PeltoUserInstall_H",
                     error_description(vberr::kInternalError)};
    }
}

} // namespace pelto
