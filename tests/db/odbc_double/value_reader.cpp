#include "tests/db/odbc_double/value_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sqlext.h>
#include <sqlucode.h>

namespace odbc_double {

namespace {

std::string narrow(const Text16& s) {
    std::string out;
    for (const char16_t c : s) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

Text16 hex_of(const std::string& bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    Text16 out;
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        out.push_back(static_cast<char16_t>(kDigits[u >> 4]));
        out.push_back(static_cast<char16_t>(kDigits[u & 15]));
    }
    return out;
}

template <typename T> ValueRead put(const T& v, SQLPOINTER buffer, SQLLEN* indicator) {
    std::memcpy(buffer, &v, sizeof v);
    if (indicator != nullptr) {
        *indicator = sizeof v;
    }
    return ValueRead{};
}

ValueRead refused(const ColumnType& type, SQLSMALLINT c_type) {
    return {SQL_ERROR, 0, "07006",
            "Restricted data type attribute violation (" + type.name + " as C type " +
                std::to_string(c_type) + ")."};
}

// A text or binary value from `offset` on, as much as fits; the rest waits for the next call.
ValueRead put_piece(const char* data, size_t count, size_t unit, size_t offset, SQLPOINTER buffer,
                    SQLLEN length, SQLLEN* indicator) {
    if (offset >= count && offset > 0) {
        return {SQL_NO_DATA, offset, "", ""};
    }
    const size_t room_units =
        unit == 1 ? static_cast<size_t>(length) : (static_cast<size_t>(length) / unit) - 1;
    const size_t left = count - offset;
    const size_t n = std::min(left, room_units);
    std::memcpy(buffer, data + offset * unit, n * unit);
    if (unit > 1) {
        std::memset(static_cast<char*>(buffer) + n * unit, 0, unit);
    }
    if (indicator != nullptr) {
        *indicator = static_cast<SQLLEN>(left * unit);
    }
    if (n < left) {
        return {SQL_SUCCESS_WITH_INFO, offset + n, "01004", "String data, right truncated."};
    }
    return {SQL_SUCCESS, count, "", ""};
}

ValueRead put_moment(const std::string& text, SQLSMALLINT c_type, SQLPOINTER buffer,
                     SQLLEN* indicator) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char fraction[16] = "";
    const int n =
        std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%9[0-9]", &y, &mo, &d, &h, &mi, &s, fraction);
    if (n < 3) {
        return {SQL_ERROR, 0, "22018", "Invalid character value for a cast."};
    }
    std::string digits = fraction;
    digits.resize(9, '0');
    if (c_type == SQL_C_TYPE_DATE) {
        return put(SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                   static_cast<SQLUSMALLINT>(d)},
                   buffer, indicator);
    }
    return put(SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                    static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                                    static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s),
                                    static_cast<SQLUINTEGER>(std::stoul(digits))},
               buffer, indicator);
}

} // namespace

ValueRead read_value(const Value& value, const ColumnType& type, SQLSMALLINT c_type,
                     SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator, size_t offset) {
    if (value.null) {
        if (indicator != nullptr) {
            *indicator = SQL_NULL_DATA;
        }
        return ValueRead{};
    }
    const bool number = type.sql_type == SQL_INTEGER || type.sql_type == SQL_BIGINT ||
                        type.sql_type == SQL_DECIMAL || type.sql_type == SQL_BIT;
    switch (c_type) {
    case SQL_C_WCHAR: {
        const Text16 text = value.binary ? hex_of(value.bytes) : value.text;
        return put_piece(reinterpret_cast<const char*>(text.data()), text.size(), sizeof(char16_t),
                         offset, buffer, length, indicator);
    }
    case SQL_C_BINARY:
        if (!value.binary) {
            return refused(type, c_type);
        }
        return put_piece(value.bytes.data(), value.bytes.size(), 1, offset, buffer, length,
                         indicator);
    case SQL_C_SLONG:
    case SQL_C_SBIGINT: {
        if (!number || type.digits != 0) {
            return refused(type, c_type);
        }
        const long long n = std::stoll(narrow(value.text));
        if (c_type == SQL_C_SLONG) {
            return put(static_cast<SQLINTEGER>(n), buffer, indicator);
        }
        return put(static_cast<SQLBIGINT>(n), buffer, indicator);
    }
    case SQL_C_DOUBLE:
        if (!number) {
            return refused(type, c_type);
        }
        return put(std::stod(narrow(value.text)), buffer, indicator);
    case SQL_C_BIT:
        return put(static_cast<unsigned char>(value.text == u"1" ? 1 : 0), buffer, indicator);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TYPE_DATE:
        if (type.sql_type != SQL_TYPE_TIMESTAMP && type.sql_type != SQL_TYPE_DATE) {
            return refused(type, c_type);
        }
        return put_moment(narrow(value.text), c_type, buffer, indicator);
    default:
        return refused(type, c_type);
    }
}

} // namespace odbc_double
