// SQL Server's types in the test double: how its driver describes each column (SQL type,
// column size, decimal digits, type name), values kept in the form the driver gives as
// text, and the conversions the server makes of a text or a bound parameter to a
// column's type. A value is compared in its column's form, so an original bound with less
// than its whole value (a fraction cut to milliseconds) is not equal to it.
#pragma once

#include <cstdint>
#include <string>

namespace odbc_double {

using Text16 = std::u16string;

struct ColumnType {
    std::string name; // as SQL_DESC_TYPE_NAME gives it
    int16_t sql_type = 0;
    uint64_t size = 0; // 0 for a (max) type
    int16_t digits = 0;
};

// A value as the server holds it: the text its driver gives for it, or its bytes.
struct Value {
    bool null = true;
    Text16 text;
    std::string bytes;
    bool binary = false;
};

// A bound parameter as the driver received it.
struct Param {
    int16_t c_type = 0;
    int16_t sql_type = 0;
    uint64_t size = 0;
    int16_t digits = 0;
    const void* buffer = nullptr;
    long length = 0; // the indicator's value: bytes, or SQL_NULL_DATA
};

// A statement the server refused.
struct Failure {
    std::string state;
    std::string message;
};

// The type a column declared "name(size, digits)" has (-1: not given); throws Failure.
ColumnType column_type(const std::string& declared, long size, long digits);
bool is_binary(const ColumnType& type);
// The value of `type` a text or a parameter converts to; throws Failure as the server
// refuses (22008 for a timestamp finer than its binding's digits, 22001, 22003, 22018).
Value convert_text(const ColumnType& type, const Text16& text);
Value convert_param(const ColumnType& type, const Param& param);

} // namespace odbc_double
