// Whether an assignment changes a field: a field counts as edited only when the value
// assigned differs from the one it holds, as the field's type compares them (VB programs
// write every field of a form back, changed or not).
#pragma once

#include "core/variant.h"

namespace pelto::ado {

// `assigned` is converted to the kind of `original` as VB converts (a number's text to
// the number, a date's text to the date); a value that does not convert differs. Null,
// Empty and a missing value are alike.
bool same_value(const Variant& original, const Variant& assigned);

} // namespace pelto::ado
