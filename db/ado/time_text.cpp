#include "db/ado/time_text.h"

#include <cstdio>

namespace pelto::ado {

namespace {

// The number of `digits` digits at `text[at]`, or -1.
int number_at(TextView text, size_t at, size_t digits) {
    if (at + digits > text.size()) {
        return -1;
    }
    int n = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (text[i] < u'0' || text[i] > u'9') {
            return -1;
        }
        n = n * 10 + (text[i] - u'0');
    }
    return n;
}

bool zone_or_end(TextView rest) {
    if (rest.empty() || rest == u"Z") {
        return true;
    }
    return (rest[0] == u'+' || rest[0] == u'-' || rest[0] == u' ') && rest.size() <= 7;
}

} // namespace

std::optional<Date> time_of_day(TextView text) {
    size_t at = 0;
    // A date before the time: "yyyy-mm-dd " or "yyyy-mm-ddT".
    if (text.size() > 10 && text[4] == u'-' && text[7] == u'-' &&
        (text[10] == u' ' || text[10] == u'T')) {
        at = 11;
    }
    const int hour = number_at(text, at, 2);
    const int minute =
        at + 2 < text.size() && text[at + 2] == u':' ? number_at(text, at + 3, 2) : -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        return std::nullopt;
    }
    at += 5;
    int second = 0;
    int millisecond = 0;
    if (at < text.size() && text[at] == u':') {
        second = number_at(text, at + 1, 2);
        if (second < 0 || second > 59) {
            return std::nullopt;
        }
        at += 3;
        if (at < text.size() && text[at] == u'.') {
            ++at;
            int scale = 100;
            const size_t first = at;
            for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
                millisecond += (text[at] - u'0') * scale;
                scale /= 10;
            }
            if (at == first) {
                return std::nullopt;
            }
        }
    }
    if (!zone_or_end(text.substr(at))) {
        return std::nullopt;
    }
    return Date::from_parts(1899, 12, 30, hour, minute, second, millisecond);
}

Text time_of_day_text(const Date& time) {
    const Date::Parts p = time.parts();
    char buffer[32];
    if (p.millisecond == 0) {
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", p.hour, p.minute, p.second,
                      p.millisecond);
    }
    return from_utf8(buffer);
}

} // namespace pelto::ado
