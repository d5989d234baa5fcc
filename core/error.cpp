#include "core/error.h"

namespace pelto {

Text vb_error_description(int32_t number) {
    switch (number) {
    case vberr::kInvalidProcedureCall:
        return u"Invalid procedure call or argument";
    case vberr::kOverflow:
        return u"Overflow";
    case vberr::kSubscriptOutOfRange:
        return u"Subscript out of range";
    case vberr::kTypeMismatch:
        return u"Type mismatch";
    case vberr::kFileNotFound:
        return u"File not found";
    case vberr::kInvalidUseOfNull:
        return u"Invalid use of Null";
    case vberr::kObjectRequired:
        return u"Object required";
    case vberr::kObjectVariableNotSet:
        return u"Object variable or With block variable not set";
    default:
        return u"Application-defined or object-defined error";
    }
}

VbError::VbError(Error error)
    : error_(std::move(error)),
      what_(std::to_string(error_.number) + " " + to_utf8(error_.description)) {}

VbError::VbError(int32_t number, Text source, Text description)
    : VbError(Error{number, std::move(source), std::move(description)}) {}

VbError VbError::runtime(int32_t number, TextView source) {
    return VbError(number, Text(source), vb_error_description(number));
}

} // namespace pelto
