// Times of day as text: how a time column is read (its text holds the whole fraction,
// which ODBC's time structure drops) and how a time is written (the same form, so that
// drivers which store text keep the seconds and their fraction).
#pragma once

#include "core/variant.h"

#include <optional>

namespace pelto::ado {

// "hh:mm", "hh:mm:ss" or "hh:mm:ss.f…" (any number of fraction digits), optionally after
// a date "yyyy-mm-dd " or "yyyy-mm-ddT" and before a zone ("Z", "+hh:mm"), as the time of
// day of day zero (1899-12-30) to the millisecond (finer digits are cut, as a timestamp's
// are). Nullopt for any other text.
std::optional<Date> time_of_day(TextView text);

// "hh:mm:ss", with ".fff" when the time has milliseconds.
Text time_of_day_text(const Date& time);

} // namespace pelto::ado
