// What an updatable record set keeps of a value beside the one it shows, where the shown
// value is not exactly what the server holds: the update compares the server's own value,
// so that a value nobody changed never looks changed.
//   Null           the shown value is exact;
//   Text           the server's own text of the value (SQLite's stored text, a time of
//                  day with a fraction finer than the shown value's milliseconds);
//   ExactTimestamp a timestamp with its whole fraction (PostgreSQL's microseconds, SQL
//                  Server's 100 nanoseconds), as the driver returned it.
#pragma once

#include "core/variant.h"

#include <cstdint>
#include <memory>

namespace pelto::ado {

// The fields of ODBC's SQL_TIMESTAMP_STRUCT; `fraction` in nanoseconds.
struct TimestampFields {
    int16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint32_t fraction = 0;
};

class ExactTimestamp final : public Object {
public:
    explicit ExactTimestamp(const TimestampFields& fields) : fields_(fields) {}
    const TimestampFields& fields() const { return fields_; }

private:
    TimestampFields fields_;
};

// The exact timestamp a kept original holds, or null.
inline const ExactTimestamp* exact_timestamp(const Variant& kept) {
    if (!kept.is_object()) {
        return nullptr;
    }
    return dynamic_cast<const ExactTimestamp*>(
        std::get<std::shared_ptr<Object>>(kept.storage()).get());
}

} // namespace pelto::ado
