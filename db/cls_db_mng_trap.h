// How clsDBMng's operations trap their own failures: the body runs, and a failure comes
// back as the error it carried instead of leaving the operation.
#pragma once

#include "core/error.h"

#include <memory>
#include <optional>

namespace pelto::dbmng {

template <typename Body> std::optional<Error> trap(Body&& body) {
    try {
        body();
        return std::nullopt;
    } catch (const std::exception&) {
        return current_error();
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
