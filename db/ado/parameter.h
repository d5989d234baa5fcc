// ADO's Parameter and the Parameters collection of a Command.
#pragma once

#include "core/variant.h"
#include "db/ado/ado_enums.h"

#include <memory>
#include <vector>

namespace pelto::ado {

class Parameter final : public Object {
public:
    Parameter(Text name, int32_t type, int32_t direction, int32_t size, Variant value)
        : name_(std::move(name)), type_(type), direction_(direction), size_(size),
          value_(std::move(value)) {}

    const Text& Name() const { return name_; }
    void Name(const Text& value) { name_ = value; }
    int32_t Type() const { return type_; }
    void Type(int32_t value) { type_ = value; }
    int32_t Direction() const { return direction_; }
    void Direction(int32_t value) { direction_ = value; }
    int32_t Size() const { return size_; }
    void Size(int32_t value); // 3001 for a negative size
    int32_t Precision() const { return precision_; }
    void Precision(int32_t value) { precision_ = value; }
    int32_t NumericScale() const { return numeric_scale_; }
    void NumericScale(int32_t value) { numeric_scale_ = value; }
    const Variant& Value() const { return value_; }
    void Value(const Variant& value) { value_ = value; }

private:
    Text name_;
    int32_t type_;
    int32_t direction_;
    int32_t size_;
    int32_t precision_ = 0;
    int32_t numeric_scale_ = 0;
    Variant value_;
};

class ParameterList {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    // By name (text, ignoring case) or by position from 0; 3265 when there is none.
    std::shared_ptr<Parameter> Item(const Variant& index) const;
    void Append(std::shared_ptr<Parameter> parameter); // 3001 for null
    void Delete(const Variant& index);                 // 3265 when there is none
    const std::vector<std::shared_ptr<Parameter>>& items() const { return items_; }

private:
    size_t position_of(const Variant& index) const;

    std::vector<std::shared_ptr<Parameter>> items_;
};

} // namespace pelto::ado
