#include "db/ado/same_value.h"

#include "core/error.h"

namespace pelto::ado {

namespace {

bool nothing(const Variant& v) {
    return v.is_null() || v.is_empty() || v.is_missing();
}

bool number(const Variant& v) {
    return std::holds_alternative<int32_t>(v.storage()) ||
           std::holds_alternative<double>(v.storage()) ||
           std::holds_alternative<Decimal>(v.storage()) ||
           std::holds_alternative<bool>(v.storage());
}

bool same_number(const Variant& original, const Variant& assigned) {
    if (std::holds_alternative<double>(original.storage()) ||
        std::holds_alternative<double>(assigned.storage())) {
        return original.to_double() == assigned.to_double();
    }
    // Decimals by their value: 1.50 is 1.5.
    return original.to_decimal().to_text() == assigned.to_decimal().to_text();
}

} // namespace

bool same_value(const Variant& original, const Variant& assigned) {
    if (nothing(original) || nothing(assigned)) {
        return nothing(original) && nothing(assigned);
    }
    try {
        if (number(original)) {
            return same_number(original, assigned);
        }
        if (const auto* date = std::get_if<Date>(&original.storage())) {
            return assigned.to_date() == *date;
        }
        if (original.is_text()) {
            return assigned.to_text() == std::get<Text>(original.storage());
        }
        if (original.is_bytes()) {
            return assigned.is_bytes() && assigned.bytes() == original.bytes();
        }
    } catch (const VbError&) { // NOLINT(bugprone-empty-catch): what does not convert differs
    }
    return false;
}

} // namespace pelto::ado
