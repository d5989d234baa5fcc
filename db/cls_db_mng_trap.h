// How clsDBMng's operations trap their own failures: the body runs, and a failure comes
// back as the error it carried instead of leaving the operation.
#pragma once

#include "core/error.h"

#include <memory>
#include <new>
#include <optional>

namespace pelto::dbmng {

template <typename Body> std::optional<Error> trap(Body&& body) {
    try {
        body();
        return std::nullopt;
    } catch (const VbError& e) {
        return e.error();
    } catch (const std::bad_alloc&) {
        return VbError::runtime(vberr::kOutOfMemory).error();
    } catch (const std::exception& e) {
        // Neither VB's nor ADO's: never E_FAIL, which GetRecordSet takes for a lost
        // connection.
        return Error{vberr::kInternalError, u"PeltoUserInstall_H",
                     error_description(vberr::kInternalError) + u": " + from_utf8(e.what())};
    }
}

// The object a field holds; VB's error 91 when the field holds none.
template <typename T> T& must(const std::shared_ptr<T>& object) {
    if (!object) {
        throw VbError::runtime(vberr::kObjectVariableNotSet);
    }
    return *object;
}

} // namespace pelto::dbmng
