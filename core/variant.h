// The OLE variant the program passes around: loosely typed and optional arguments of
// the database manager, the registry writer's value, field values and row arrays.
// Conversions follow VB's rules; a conversion that VB refuses throws VbError.
#pragma once

#include "core/text.h"

#include <array>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

namespace pelto {

struct Null {
    bool operator==(const Null&) const = default;
};
struct Empty {
    bool operator==(const Empty&) const = default;
};
// The marker of an omitted optional argument: an error value DISP_E_PARAMNOTFOUND.
struct Missing {
    bool operator==(const Missing&) const = default;
};
constexpr int32_t kDispParamNotFound = static_cast<int32_t>(0x80020004U);

// A 96-bit unsigned magnitude with a decimal scale (0..28) and a sign, as OLE's DECIMAL.
struct Decimal {
    std::array<uint32_t, 3> magnitude{}; // least significant word first
    uint8_t scale = 0;
    bool negative = false;

    static Decimal from_text(TextView text); // throws VbError 13 / 6
    static Decimal from_double(double value, int scale);
    Text to_text() const;
    double to_double() const;
    bool operator==(const Decimal&) const = default;
};

// An OLE date: days since 1899-12-30, the time as the fraction of a day.
struct Date {
    double serial = 0.0;

    static Date from_parts(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0, int millisecond = 0);
    struct Parts {
        int year, month, day, hour, minute, second, millisecond;
    };
    Parts parts() const;
    bool operator==(const Date&) const = default;
};

using ByteArray = std::vector<uint8_t>;

// Anything that a variant can hold by reference (a record set, a command ...).
class Object {
public:
    virtual ~Object() = default;
};

class Variant;

// A two-dimensional array of variants, both lower bounds 0; indexed [first][second]
// as ADO's GetRows gives it: [field][row].
class Array2D {
public:
    Array2D() = default;
    Array2D(size_t first_count, size_t second_count);
    size_t first_count() const { return first_; }
    size_t second_count() const { return second_; }
    const Variant& at(size_t first, size_t second) const;
    Variant& at(size_t first, size_t second);
    bool operator==(const Array2D& other) const;

private:
    size_t first_ = 0;
    size_t second_ = 0;
    std::vector<Variant> cells_;
};

class Variant {
public:
    using Storage = std::variant<Empty, Null, Missing, bool, int32_t, double, Decimal, Date, Text,
                                 ByteArray, std::shared_ptr<Array2D>, std::shared_ptr<Object>>;

    Variant() = default;
    Variant(Empty) {}
    Variant(Null v) : value_(v) {}
    Variant(Missing v) : value_(v) {}
    Variant(bool v) : value_(v) {}
    Variant(int32_t v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(Decimal v) : value_(v) {}
    Variant(Date v) : value_(v) {}
    Variant(Text v) : value_(std::move(v)) {}
    Variant(const char16_t* v) : value_(Text(v)) {}
    Variant(ByteArray v) : value_(std::move(v)) {}
    Variant(Array2D v) : value_(std::make_shared<Array2D>(std::move(v))) {}
    Variant(std::shared_ptr<Object> v) : value_(std::move(v)) {}

    static Variant missing() { return Variant(Missing{}); }

    bool is_empty() const { return std::holds_alternative<Empty>(value_); }
    bool is_null() const { return std::holds_alternative<Null>(value_); }
    bool is_missing() const { return std::holds_alternative<Missing>(value_); }
    bool is_text() const { return std::holds_alternative<Text>(value_); }
    bool is_array() const { return std::holds_alternative<std::shared_ptr<Array2D>>(value_); }
    bool is_bytes() const { return std::holds_alternative<ByteArray>(value_); }
    bool is_object() const { return std::holds_alternative<std::shared_ptr<Object>>(value_); }

    const Storage& storage() const { return value_; }

    // The Variant's type as VarType reports it (vbEmpty 0, vbNull 1, vbInteger/Long 3,
    // vbDouble 5, vbDate 7, vbString 8, vbObject 9, vbError 10, vbBoolean 11,
    // vbDecimal 14, byte array 8209, variant array 8204).
    int var_type() const;

    // VB conversions. Each throws VbError (13 type mismatch, 6 overflow, 94 invalid
    // use of Null) where VB would.
    Text to_text() const;                   // CStr
    int32_t to_long() const;                // CLng
    double to_double() const;               // CDbl
    bool to_bool() const;                   // CBool
    Date to_date() const;                   // CDate
    Decimal to_decimal() const;             // CDec
    const ByteArray& bytes() const;         // the byte array itself, else 13
    const Array2D& array() const;           // the array itself, else 13
    std::shared_ptr<Object> object() const; // the object, else 424 (object required)

    bool operator==(const Variant& other) const;

private:
    Storage value_;
};

} // namespace pelto
