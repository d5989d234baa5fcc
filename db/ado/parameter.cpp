#include "db/ado/parameter.h"

#include "db/ado/ado_error.h"

namespace pelto::ado {

namespace {
constexpr const char16_t* kSource = u"ADODB.Parameters";
}

void Parameter::Size(int32_t value) {
    if (value < 0) {
        raise(adoerr::kArgumentsWrongType, u"ADODB.Parameter");
    }
    size_ = value;
}

size_t ParameterList::position_of(const Variant& index) const {
    if (index.is_text()) {
        const Text& name = std::get<Text>(index.storage());
        for (size_t i = 0; i < items_.size(); ++i) {
            if (equals_ignore_case(items_[i]->Name(), name)) {
                return i;
            }
        }
        raise(adoerr::kNotFoundInCollection, kSource);
    }
    int32_t position = -1;
    try {
        position = index.to_long();
    } catch (const VbError&) {
        raise(adoerr::kNotFoundInCollection, kSource);
    }
    if (index.is_empty() || index.is_missing() || position < 0 ||
        static_cast<size_t>(position) >= items_.size()) {
        raise(adoerr::kNotFoundInCollection, kSource);
    }
    return static_cast<size_t>(position);
}

std::shared_ptr<Parameter> ParameterList::Item(const Variant& index) const {
    return items_[position_of(index)];
}

void ParameterList::Append(std::shared_ptr<Parameter> parameter) {
    if (!parameter) {
        raise(adoerr::kArgumentsWrongType, kSource);
    }
    items_.push_back(std::move(parameter));
}

void ParameterList::Delete(const Variant& index) {
    const size_t position = position_of(index);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position));
}

} // namespace pelto::ado
