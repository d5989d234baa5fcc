#include "core/error.h"

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

} // namespace pelto
