#include "core/variant.h"

#include "core/error.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace pelto {

namespace {

[[noreturn]] void raise(int32_t number) {
    throw VbError::runtime(number);
}

// ---- 96-bit magnitude arithmetic for Decimal -------------------------------------

using Mag = std::array<uint32_t, 3>;

bool mag_is_zero(const Mag& m) {
    return m[0] == 0 && m[1] == 0 && m[2] == 0;
}

// m = m * mul + add; false on overflow past 96 bits.
bool mag_mul_add(Mag& m, uint32_t mul, uint32_t add) {
    uint64_t carry = add;
    for (auto& word : m) {
        const uint64_t v = static_cast<uint64_t>(word) * mul + carry;
        word = static_cast<uint32_t>(v);
        carry = v >> 32;
    }
    return carry == 0;
}

// m = m / div; returns the remainder.
uint32_t mag_div(Mag& m, uint32_t div) {
    uint64_t rem = 0;
    for (int i = 2; i >= 0; --i) {
        const uint64_t cur = (rem << 32) | m[static_cast<size_t>(i)];
        m[static_cast<size_t>(i)] = static_cast<uint32_t>(cur / div);
        rem = cur % div;
    }
    return static_cast<uint32_t>(rem);
}

// ---- number parsing as VB's CDbl/CLng of a text -----------------------------------

// "&H1F" or "&O17": VB's hexadecimal and octal literals, of up to 32 bits, read as a
// signed Long.
bool parse_radix_literal(const Text& t, double& out) {
    const int base = (t[1] == u'H' || t[1] == u'h') ? 16 : 8;
    uint64_t v = 0;
    for (size_t i = 2; i < t.size(); ++i) {
        const char16_t c = t[i];
        int d = -1;
        if (c >= u'0' && c <= u'9') {
            d = c - u'0';
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            d = c - u'a' + 10;
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            d = c - u'A' + 10;
        }
        if (d < 0 || d >= base || v > 0xFFFFFFFFULL) {
            return false;
        }
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    if (v > 0xFFFFFFFFULL) {
        return false;
    }
    out = v > 0xFFFF ? static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)))
                     : static_cast<double>(v);
    return true;
}

bool is_digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Whether `ascii` is a decimal number as VB reads one: a sign, digits with at most one
// point, and an exponent after "e" or "d" (made "e" here, as from_chars reads it).
bool is_decimal_form(std::string& ascii) {
    size_t i = 0;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) {
        ++i;
    }
    bool digits = false;
    for (; i < ascii.size() && is_digit(ascii[i]); ++i) {
        digits = true;
    }
    if (i < ascii.size() && ascii[i] == '.') {
        for (++i; i < ascii.size() && is_digit(ascii[i]); ++i) {
            digits = true;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < ascii.size() &&
        (ascii[i] == 'e' || ascii[i] == 'E' || ascii[i] == 'd' || ascii[i] == 'D')) {
        ascii[i] = 'e';
        ++i;
        if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) {
            ++i;
        }
        bool exp_digits = false;
        for (; i < ascii.size() && is_digit(ascii[i]); ++i) {
            exp_digits = true;
        }
        if (!exp_digits) {
            return false;
        }
    }
    return i == ascii.size();
}

bool parse_number(TextView raw, double& out) {
    const Text t = trim(raw);
    if (t.empty()) {
        return false;
    }
    if (t.size() > 2 && t[0] == u'&' &&
        (t[1] == u'H' || t[1] == u'h' || t[1] == u'O' || t[1] == u'o')) {
        return parse_radix_literal(t, out);
    }
    std::string ascii;
    for (const char16_t c : t) {
        if (c == u',') {
            continue; // thousands separator
        }
        if (c > 0x7F) {
            return false;
        }
        ascii.push_back(static_cast<char>(c));
    }
    if (!is_decimal_form(ascii)) {
        return false;
    }
    // from_chars reads the "C" form whatever the process's locale: a decimal-comma
    // locale must not turn "2.5" into 2. It takes no '+'.
    const char* first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
    const char* last = ascii.data() + ascii.size();
    const std::from_chars_result r = std::from_chars(first, last, out);
    if (r.ec == std::errc::result_out_of_range) {
        // Too small to hold is zero, as strtod gives it; too large is no number.
        const size_t e = ascii.find('e');
        if (e == std::string::npos || e + 1 >= ascii.size() || ascii[e + 1] != '-') {
            return false;
        }
        out = ascii[0] == '-' ? -0.0 : 0.0;
        return true;
    }
    return r.ec == std::errc() && r.ptr == last && std::isfinite(out);
}

// VB rounds half to even when it converts to an integer type.
int32_t round_to_long(double v) {
    const double r = std::nearbyint(v); // default rounding mode: to nearest, ties to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) {
        raise(vberr::kOverflow);
    }
    return static_cast<int32_t>(r);
}

Text ascii_text(const std::string& s) {
    return Text(s.begin(), s.end());
}

// CStr of a Double: at most 15 significant digits, no trailing zeros, exponent form
// ("1E+20", "1.5E-07") outside the range VB writes out in full.
Text format_double(double v) {
    if (v == 0.0) {
        return u"0";
    }
    char buf[64];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string s(buf, r.ptr);
    const size_t e = s.find('e');
    std::string mantissa = s.substr(0, e);
    const int exp10 = std::atoi(s.c_str() + e + 1);
    std::string sign;
    if (mantissa[0] == '-') {
        sign = "-";
        mantissa.erase(0, 1);
    }
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') {
            digits.push_back(c);
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string out;
    if (exp10 >= 15 || exp10 < -5) {
        out = digits.substr(0, 1);
        if (digits.size() > 1) {
            out += "." + digits.substr(1);
        }
        char ebuf[16];
        std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exp10 < 0 ? '-' : '+', std::abs(exp10));
        out += ebuf;
    } else if (exp10 < 0) {
        out = "0." + std::string(static_cast<size_t>(-exp10 - 1), '0') + digits;
    } else {
        const auto int_len = static_cast<size_t>(exp10) + 1;
        if (digits.size() <= int_len) {
            out = digits + std::string(int_len - digits.size(), '0');
        } else {
            out = digits.substr(0, int_len) + "." + digits.substr(int_len);
        }
    }
    return ascii_text(sign + out);
}

Text two(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return ascii_text(buf);
}

Text format_date(const Date& d) {
    const auto p = d.parts();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
    Text out = ascii_text(buf);
    const bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
    const bool has_date = std::floor(d.serial) != 0.0;
    if (!has_date && has_time) {
        return two(p.hour) + u":" + two(p.minute) + u":" + two(p.second);
    }
    if (has_time) {
        out += u" " + two(p.hour) + u":" + two(p.minute) + u":" + two(p.second);
    }
    return out;
}

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
}

const int64_t kOleEpochDays = days_from_civil(1899, 12, 30);

bool parse_date_text(TextView raw, Date& out) {
    // ISO forms: yyyy-mm-dd, yyyy-mm-dd hh:mm[:ss[.fff]], and yyyy/mm/dd alike.
    const std::string s = to_utf8(trim(raw));
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
    char sep1 = 0, sep2 = 0;
    int used = 0;
    if (std::sscanf(s.c_str(), "%d%c%d%c%d%n", &y, &sep1, &mo, &sep2, &d, &used) != 5 ||
        sep1 != sep2 || (sep1 != '-' && sep1 != '/' && sep1 != '.')) {
        return false;
    }
    const std::string rest = s.substr(static_cast<size_t>(used));
    if (!rest.empty()) {
        int n = std::sscanf(rest.c_str(), " %d:%d:%d.%d", &h, &mi, &sec, &ms);
        if (n < 2) {
            return false;
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 59) {
        return false;
    }
    out = Date::from_parts(y, mo, d, h, mi, sec, ms);
    return true;
}

} // namespace

// ---- Decimal ----------------------------------------------------------------------

Decimal Decimal::from_text(TextView raw) {
    const Text t = trim(raw);
    Decimal out;
    size_t i = 0;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        out.negative = t[i] == u'-';
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9') {
            // Anything else (an exponent, say) goes through the double conversion.
            double v = 0;
            if (!parse_number(t, v)) {
                raise(vberr::kTypeMismatch);
            }
            return from_double(v, 10);
        }
        digits = true;
        if (point && out.scale >= 28) {
            continue; // digits past the 28th decimal place are dropped
        }
        if (!mag_mul_add(out.magnitude, 10, static_cast<uint32_t>(c - u'0'))) {
            raise(vberr::kOverflow);
        }
        if (point) {
            ++out.scale;
        }
    }
    if (!digits) {
        raise(vberr::kTypeMismatch);
    }
    if (mag_is_zero(out.magnitude)) {
        out.negative = false;
    }
    return out;
}

Decimal Decimal::from_double(double value, int scale) {
    if (!std::isfinite(value)) {
        raise(vberr::kOverflow);
    }
    char buf[400];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, scale);
    if (r.ec != std::errc()) {
        raise(vberr::kOverflow);
    }
    Decimal d = from_text(ascii_text(std::string(buf, r.ptr)));
    // Drop trailing zeros of the fraction, as OLE's VarDecFromR8 does.
    while (d.scale > 0) {
        Mag copy = d.magnitude;
        if (mag_div(copy, 10) != 0) {
            break;
        }
        d.magnitude = copy;
        --d.scale;
    }
    return d;
}

Text Decimal::to_text() const {
    Mag m = magnitude;
    std::string digits;
    while (!mag_is_zero(m)) {
        digits.insert(digits.begin(), static_cast<char>('0' + mag_div(m, 10)));
    }
    if (digits.size() <= scale) {
        digits.insert(0, scale + 1 - digits.size(), '0');
    }
    if (scale > 0) {
        digits.insert(digits.size() - scale, ".");
        while (digits.back() == '0') {
            digits.pop_back();
        }
        if (digits.back() == '.') {
            digits.pop_back();
        }
    }
    if (negative && digits != "0") {
        digits.insert(0, "-");
    }
    return ascii_text(digits);
}

double Decimal::to_double() const {
    const double v =
        (static_cast<double>(magnitude[2]) * 4294967296.0 + magnitude[1]) * 4294967296.0 +
        magnitude[0];
    return (negative ? -v : v) / std::pow(10.0, scale);
}

// ---- Date -------------------------------------------------------------------------

Date Date::from_parts(int year, int month, int day, int hour, int minute, int second,
                      int millisecond) {
    const int64_t days =
        days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        kOleEpochDays;
    const double fraction =
        (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
    // OLE dates before 1899-12-30 keep the time as a positive fraction after a
    // negative day number.
    const double serial =
        days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
    return Date{serial};
}

Date::Parts Date::parts() const {
    const double whole = std::trunc(serial);
    double fraction = std::fabs(serial - whole);
    auto ms_total = static_cast<int64_t>(std::llround(fraction * 86400000.0));
    auto days = static_cast<int64_t>(whole);
    if (ms_total >= 86400000) {
        ms_total -= 86400000;
        days += serial >= 0 ? 1 : -1;
    }
    Parts p{};
    civil_from_days(days + kOleEpochDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms_total / 3600000);
    p.minute = static_cast<int>(ms_total / 60000 % 60);
    p.second = static_cast<int>(ms_total / 1000 % 60);
    p.millisecond = static_cast<int>(ms_total % 1000);
    return p;
}

// ---- Array2D ----------------------------------------------------------------------

Array2D::Array2D(size_t first_count, size_t second_count)
    : first_(first_count), second_(second_count), cells_(first_count * second_count) {}

const Variant& Array2D::at(size_t first, size_t second) const {
    if (first >= first_ || second >= second_) {
        raise(vberr::kSubscriptOutOfRange);
    }
    return cells_[first * second_ + second];
}

Variant& Array2D::at(size_t first, size_t second) {
    if (first >= first_ || second >= second_) {
        raise(vberr::kSubscriptOutOfRange);
    }
    return cells_[first * second_ + second];
}

bool Array2D::operator==(const Array2D& other) const {
    return first_ == other.first_ && second_ == other.second_ && cells_ == other.cells_;
}

// ---- Variant ----------------------------------------------------------------------

int Variant::var_type() const {
    switch (value_.index()) {
    case 0:
        return 0; // Empty
    case 1:
        return 1; // Null
    case 2:
        return 10; // Error (the missing marker)
    case 3:
        return 11; // Boolean
    case 4:
        return 3; // Long
    case 5:
        return 5; // Double
    case 6:
        return 14; // Decimal
    case 7:
        return 7; // Date
    case 8:
        return 8; // String
    case 9:
        return 8209; // Byte array
    case 10:
        return 8204; // Variant array
    default:
        return 9; // Object
    }
}

Text Variant::to_text() const {
    return std::visit(
        [](const auto& v) -> Text {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Empty>) {
                return Text();
            } else if constexpr (std::is_same_v<T, Null>) {
                raise(vberr::kInvalidUseOfNull);
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? u"True" : u"False";
            } else if constexpr (std::is_same_v<T, int32_t>) {
                return ascii_text(std::to_string(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return format_double(v);
            } else if constexpr (std::is_same_v<T, Decimal>) {
                return v.to_text();
            } else if constexpr (std::is_same_v<T, Date>) {
                return format_date(v);
            } else if constexpr (std::is_same_v<T, Text>) {
                return v;
            } else if constexpr (std::is_same_v<T, ByteArray>) {
                // VB reads a byte array as UTF-16 code units, low byte first.
                Text out;
                for (size_t i = 0; i + 1 < v.size(); i += 2) {
                    out.push_back(static_cast<char16_t>(v[i] | (v[i + 1] << 8)));
                }
                if (v.size() % 2 != 0) {
                    out.push_back(static_cast<char16_t>(v.back()));
                }
                return out;
            } else {
                raise(vberr::kTypeMismatch);
            }
        },
        value_);
}

double Variant::to_double() const {
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Empty>) {
                return 0.0;
            } else if constexpr (std::is_same_v<T, Null>) {
                raise(vberr::kInvalidUseOfNull);
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? -1.0 : 0.0;
            } else if constexpr (std::is_same_v<T, int32_t>) {
                return static_cast<double>(v);
            } else if constexpr (std::is_same_v<T, double>) {
                return v;
            } else if constexpr (std::is_same_v<T, Decimal>) {
                return v.to_double();
            } else if constexpr (std::is_same_v<T, Date>) {
                return v.serial;
            } else if constexpr (std::is_same_v<T, Text>) {
                double out = 0;
                if (!parse_number(v, out)) {
                    raise(vberr::kTypeMismatch);
                }
                return out;
            } else {
                raise(vberr::kTypeMismatch);
            }
        },
        value_);
}

int32_t Variant::to_long() const {
    if (const auto* v = std::get_if<int32_t>(&value_)) {
        return *v;
    }
    if (const auto* v = std::get_if<bool>(&value_)) {
        return *v ? -1 : 0;
    }
    return round_to_long(to_double());
}

bool Variant::to_bool() const {
    if (const auto* v = std::get_if<bool>(&value_)) {
        return *v;
    }
    if (const auto* v = std::get_if<Text>(&value_)) {
        const Text t = trim(*v);
        if (equals_ignore_case(t, u"True")) {
            return true;
        }
        if (equals_ignore_case(t, u"False")) {
            return false;
        }
    }
    return to_double() != 0.0;
}

Date Variant::to_date() const {
    if (const auto* v = std::get_if<Date>(&value_)) {
        return *v;
    }
    if (const auto* v = std::get_if<Text>(&value_)) {
        Date d;
        if (parse_date_text(*v, d)) {
            return d;
        }
        raise(vberr::kTypeMismatch);
    }
    return Date{to_double()};
}

Decimal Variant::to_decimal() const {
    if (const auto* v = std::get_if<Decimal>(&value_)) {
        return *v;
    }
    if (const auto* v = std::get_if<Text>(&value_)) {
        return Decimal::from_text(*v);
    }
    if (const auto* v = std::get_if<int32_t>(&value_)) {
        return Decimal::from_text(ascii_text(std::to_string(*v)));
    }
    return Decimal::from_double(to_double(), 15);
}

const ByteArray& Variant::bytes() const {
    if (const auto* v = std::get_if<ByteArray>(&value_)) {
        return *v;
    }
    raise(vberr::kTypeMismatch);
}

const Array2D& Variant::array() const {
    if (const auto* v = std::get_if<std::shared_ptr<Array2D>>(&value_)) {
        if (*v) {
            return **v;
        }
    }
    raise(vberr::kTypeMismatch);
}

std::shared_ptr<Object> Variant::object() const {
    if (const auto* v = std::get_if<std::shared_ptr<Object>>(&value_)) {
        return *v;
    }
    raise(vberr::kObjectRequired);
}

bool Variant::operator==(const Variant& other) const {
    if (value_.index() != other.value_.index()) {
        return false;
    }
    if (is_array()) {
        return array() == other.array();
    }
    return value_ == other.value_;
}

} // namespace pelto
