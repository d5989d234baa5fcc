// SQL Server's types in the double: how its driver describes each, and how the server
// converts a text or a bound parameter to a column's type.
#include "tests/db/odbc_double/sql_server_types.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

namespace odbc_double {

namespace {

constexpr int16_t kTime2 = -154;           // SQL_SS_TIME2
constexpr int16_t kTimestampOffset = -155; // SQL_SS_TIMESTAMPOFFSET

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

Text16 ascii(const std::string& s) {
    return Text16(s.begin(), s.end());
}

std::string narrow(const Text16& s) {
    std::string out;
    for (const char16_t c : s) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

[[noreturn]] void fail(const char* state, const std::string& message) {
    throw Failure{state, message};
}

// --- dates and times ---

struct Moment {
    int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    long nanos = 0;
    bool has_offset = false;
    int offset_minutes = 0;
};

bool digits_at(const std::string& s, size_t at, size_t n, int& out) {
    if (at + n > s.size()) {
        return false;
    }
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) {
            return false;
        }
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

// "hh:mm[:ss[.f…]]" at `at`; the fraction digits it had go to `fraction_digits`.
bool parse_time(const std::string& s, size_t& at, Moment& m, int& fraction_digits) {
    if (!digits_at(s, at, 2, m.hour) || s.size() < at + 5 || s[at + 2] != ':' ||
        !digits_at(s, at + 3, 2, m.minute)) {
        return false;
    }
    at += 5;
    fraction_digits = 0;
    if (at < s.size() && s[at] == ':') {
        if (!digits_at(s, at + 1, 2, m.second)) {
            return false;
        }
        at += 3;
        if (at < s.size() && s[at] == '.') {
            long scale = 100000000;
            for (++at; at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])); ++at) {
                if (++fraction_digits > 9) {
                    return false;
                }
                m.nanos += (s[at] - '0') * scale;
                scale /= 10;
            }
        }
    }
    return true;
}

bool parse_offset(const std::string& s, size_t at, Moment& m) {
    while (at < s.size() && s[at] == ' ') {
        ++at;
    }
    if (at == s.size()) {
        return true;
    }
    int h = 0;
    int mi = 0;
    if (s.size() != at + 6 || (s[at] != '+' && s[at] != '-') || !digits_at(s, at + 1, 2, h) ||
        s[at + 3] != ':' || !digits_at(s, at + 4, 2, mi)) {
        return false;
    }
    m.has_offset = true;
    m.offset_minutes = (s[at] == '-' ? -1 : 1) * (h * 60 + mi);
    return true;
}

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss.f…" (or with T), a zone after it; or a time alone.
bool parse_moment(const std::string& text, Moment& m, int& fraction_digits) {
    size_t at = 0;
    fraction_digits = 0;
    if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
        if (!digits_at(text, 0, 4, m.year) || !digits_at(text, 5, 2, m.month) ||
            !digits_at(text, 8, 2, m.day)) {
            return false;
        }
        at = 10;
        if (at < text.size() && (text[at] == ' ' || text[at] == 'T') && at + 1 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
            ++at;
            if (!parse_time(text, at, m, fraction_digits)) {
                return false;
            }
        }
    } else if (!parse_time(text, at, m, fraction_digits)) {
        return false;
    }
    return parse_offset(text, at, m);
}

long power_of_ten(int n) {
    long p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

std::string format_moment(const Moment& m, const ColumnType& type) {
    char out[96];
    const int digits = type.digits;
    const long unit = power_of_ten(9 - digits);
    const long fraction = m.nanos / unit;
    char frac[16] = "";
    if (digits > 0) {
        std::snprintf(frac, sizeof frac, ".%0*ld", digits, fraction);
    }
    if (type.sql_type == kTime2) {
        std::snprintf(out, sizeof out, "%02d:%02d:%02d%s", m.hour, m.minute, m.second, frac);
    } else if (type.sql_type == SQL_TYPE_DATE) {
        std::snprintf(out, sizeof out, "%04d-%02d-%02d", m.year, m.month, m.day);
    } else {
        std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d%s", m.year, m.month, m.day,
                      m.hour, m.minute, m.second, frac);
    }
    std::string s = out;
    if (type.sql_type == kTimestampOffset) {
        const int off = m.offset_minutes;
        char zone[16];
        std::snprintf(zone, sizeof zone, " %c%02d:%02d", off < 0 ? '-' : '+', std::abs(off) / 60,
                      std::abs(off) % 60);
        s += zone;
    }
    return s;
}

bool is_moment(const ColumnType& type) {
    return type.sql_type == SQL_TYPE_TIMESTAMP || type.sql_type == SQL_TYPE_DATE ||
           type.sql_type == kTime2 || type.sql_type == kTimestampOffset;
}

// A moment in its column's form: a fraction finer than the column holds is cut, as the
// server rounds (the tests never rely on the rounding).
Value moment_value(const ColumnType& type, const std::string& text) {
    Moment m;
    int fraction_digits = 0;
    if (!parse_moment(text, m, fraction_digits)) {
        fail("22007", "Conversion failed when converting date and/or time from character string.");
    }
    Value v;
    v.null = false;
    v.text = ascii(format_moment(m, type));
    return v;
}

// --- numbers ---

Value number_value(const ColumnType& type, const std::string& text) {
    size_t at = 0;
    std::string sign;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        sign = text[at] == '-' ? "-" : "";
        ++at;
    }
    std::string whole;
    std::string fraction;
    bool point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '.' && !point) {
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            (point ? fraction : whole).push_back(c);
        } else {
            fail("22018", "Error converting data type nvarchar to numeric.");
        }
    }
    const bool integer = type.sql_type == SQL_INTEGER || type.sql_type == SQL_BIGINT;
    if (integer && point) {
        fail("22018", "Error converting data type nvarchar to " + type.name + ".");
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    const size_t scale = static_cast<size_t>(type.digits);
    fraction.resize(std::max(fraction.size(), scale), '0');
    fraction.resize(scale); // finer digits are cut
    const size_t precision = integer ? (type.sql_type == SQL_INTEGER ? 10 : 19) : type.size;
    if (whole.size() + scale > precision) {
        fail("22003",
             "Arithmetic overflow error converting expression to data type " + type.name + ".");
    }
    std::string out = sign + (whole.empty() ? "0" : whole);
    if (scale > 0) {
        out += "." + fraction;
    }
    if (out == "-0" || out.find_first_not_of("-0.") == std::string::npos) {
        out = scale > 0 ? "0." + std::string(scale, '0') : "0";
    }
    Value v;
    v.null = false;
    v.text = ascii(out);
    return v;
}

Value guid_value(const std::string& text) {
    if (text.size() != 36) {
        fail("22018", "Conversion failed when converting from a character string to "
                      "uniqueidentifier.");
    }
    Value v;
    v.null = false;
    for (const char c : text) {
        v.text.push_back(static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c))));
    }
    return v;
}

bool is_number(const ColumnType& type) {
    return type.sql_type == SQL_INTEGER || type.sql_type == SQL_BIGINT ||
           type.sql_type == SQL_DECIMAL || type.sql_type == SQL_BIT;
}

} // namespace

bool is_binary(const ColumnType& type) {
    return type.sql_type == SQL_BINARY || type.sql_type == SQL_VARBINARY ||
           type.sql_type == SQL_LONGVARBINARY;
}

ColumnType column_type(const std::string& declared, long size, long digits) {
    const std::string name = lower(declared);
    const auto n = static_cast<uint64_t>(size < 0 ? 0 : size);
    if (name == "int")
        return {"int", SQL_INTEGER, 10, 0};
    if (name == "bigint")
        return {"bigint", SQL_BIGINT, 19, 0};
    if (name == "bit")
        return {"bit", SQL_BIT, 1, 0};
    if (name == "datetime")
        return {"datetime", SQL_TYPE_TIMESTAMP, 23, 3};
    if (name == "datetime2") {
        const auto d = static_cast<int16_t>(size < 0 ? 7 : size);
        return {"datetime2", SQL_TYPE_TIMESTAMP, static_cast<uint64_t>(d > 0 ? 20 + d : 19), d};
    }
    if (name == "datetimeoffset") {
        const auto d = static_cast<int16_t>(size < 0 ? 7 : size);
        return {"datetimeoffset", kTimestampOffset, static_cast<uint64_t>(d > 0 ? 27 + d : 26), d};
    }
    if (name == "time") {
        const auto d = static_cast<int16_t>(size < 0 ? 7 : size);
        return {"time", kTime2, static_cast<uint64_t>(d > 0 ? 9 + d : 8), d};
    }
    if (name == "date")
        return {"date", SQL_TYPE_DATE, 10, 0};
    if (name == "decimal" || name == "numeric") {
        return {name, SQL_DECIMAL, size < 0 ? 18 : n,
                static_cast<int16_t>(digits < 0 ? 0 : digits)};
    }
    if (name == "money")
        return {"money", SQL_DECIMAL, 19, 4};
    if (name == "uniqueidentifier")
        return {"uniqueidentifier", SQL_GUID, 36, 0};
    if (name == "nvarchar")
        return {"nvarchar", static_cast<int16_t>(size == 0 ? SQL_WLONGVARCHAR : SQL_WVARCHAR), n,
                0};
    if (name == "ntext")
        return {"ntext", SQL_WLONGVARCHAR, 1073741823, 0};
    if (name == "xml")
        return {"xml", -152, 0, 0};
    if (name == "varbinary") {
        return {"varbinary", static_cast<int16_t>(size == 0 ? SQL_LONGVARBINARY : SQL_VARBINARY), n,
                0};
    }
    if (name == "rowversion" || name == "timestamp")
        return {"timestamp", SQL_BINARY, 8, 0};
    fail("42000", "The double does not know the type '" + declared + "'.");
}

Value convert_text(const ColumnType& type, const Text16& text) {
    if (is_binary(type)) {
        fail("22018", "Implicit conversion from nvarchar to varbinary is not allowed.");
    }
    const std::string s = narrow(text);
    if (is_moment(type)) {
        return moment_value(type, s);
    }
    if (is_number(type)) {
        if (type.sql_type == SQL_BIT) {
            Value v;
            v.null = false;
            v.text = s == "0" || lower(s) == "false" ? u"0" : u"1";
            return v;
        }
        return number_value(type, s);
    }
    if (type.sql_type == SQL_GUID) {
        return guid_value(s);
    }
    if (type.size > 0 && text.size() > type.size) {
        fail("22001", "String or binary data would be truncated.");
    }
    Value v;
    v.null = false;
    v.text = text;
    return v;
}

Value convert_param(const ColumnType& type, const Param& p) {
    Value v;
    if (p.length == SQL_NULL_DATA) {
        return v; // Null
    }
    switch (p.c_type) {
    case SQL_C_WCHAR:
        return convert_text(type, Text16(static_cast<const char16_t*>(p.buffer),
                                         static_cast<size_t>(p.length) / sizeof(char16_t)));
    case SQL_C_SLONG: {
        int32_t n = 0;
        std::memcpy(&n, p.buffer, sizeof n);
        return convert_text(type, ascii(std::to_string(n)));
    }
    case SQL_C_SBIGINT: {
        int64_t n = 0;
        std::memcpy(&n, p.buffer, sizeof n);
        return convert_text(type, ascii(std::to_string(n)));
    }
    case SQL_C_DOUBLE: {
        double d = 0;
        std::memcpy(&d, p.buffer, sizeof d);
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", d);
        return convert_text(type, ascii(text));
    }
    case SQL_C_BIT:
        return convert_text(type, *static_cast<const unsigned char*>(p.buffer) != 0 ? u"1" : u"0");
    case SQL_C_TYPE_DATE: {
        SQL_DATE_STRUCT d{};
        std::memcpy(&d, p.buffer, sizeof d);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", d.year, d.month, d.day);
        return convert_text(type, ascii(text));
    }
    case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT t{};
        std::memcpy(&t, p.buffer, sizeof t);
        // The server refuses a fraction finer than the precision the binding declares.
        if (p.digits < 9 &&
            t.fraction % static_cast<SQLUINTEGER>(power_of_ten(9 - p.digits)) != 0) {
            fail("22008", "Datetime field overflow. Fractional second precision exceeds the "
                          "scale specified in the parameter binding.");
        }
        char text[80];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%09u", t.year, t.month,
                      t.day, t.hour, t.minute, t.second, t.fraction);
        if (type.sql_type == kTime2) {
            return convert_text(type, ascii(std::string(text).substr(11)));
        }
        return convert_text(type, ascii(text));
    }
    case SQL_C_BINARY:
        if (!is_binary(type)) {
            fail("22018",
                 "Implicit conversion from varbinary to " + type.name + " is not allowed.");
        }
        v.null = false;
        v.binary = true;
        v.bytes.assign(static_cast<const char*>(p.buffer), static_cast<size_t>(p.length));
        if (type.size > 0 && v.bytes.size() > type.size) {
            fail("22001", "String or binary data would be truncated.");
        }
        return v;
    default:
        fail("HY003", "The double does not take C type " + std::to_string(p.c_type) + ".");
    }
}

} // namespace odbc_double
