// ADO's Property: one named value of an object's Properties collection. The record set
// has one, "Update Criteria".
#pragma once

#include "core/variant.h"
#include "db/ado/ado_error.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace pelto::ado {

class Property {
public:
    Property(Text name, int32_t value, std::initializer_list<int32_t> allowed)
        : name_(std::move(name)), value_(value), allowed_(allowed) {}

    const Text& Name() const { return name_; }
    Variant Value() const { return value_; }
    // 3001 for a value the property does not take.
    void Value(const Variant& value) {
        const int32_t number = value.to_long();
        if (std::find(allowed_.begin(), allowed_.end(), number) == allowed_.end()) {
            raise(adoerr::kArgumentsWrongType, u"ADODB.Property");
        }
        value_ = number;
    }
    int32_t number() const { return value_; }

private:
    Text name_;
    int32_t value_;
    std::vector<int32_t> allowed_;
};

} // namespace pelto::ado
