// ADO's Field: the value of one column of its record set's current row, read and edited.
#include "db/ado/ado_error.h"
#include "db/ado/chunk_spool.h"
#include "db/ado/recordset.h"
#include "db/ado/same_value.h"

#include <algorithm>
#include <limits>

namespace pelto::ado {

namespace {

int32_t clamp32(uint64_t n) {
    return static_cast<int32_t>(std::min<uint64_t>(n, std::numeric_limits<int32_t>::max()));
}

} // namespace

const Text& Field::Name() const {
    return owner_.columns_[index_].name;
}

int32_t Field::Type() const {
    return owner_.columns_[index_].ado_type;
}

int32_t Field::DefinedSize() const {
    return clamp32(owner_.columns_[index_].column_size);
}

int32_t Field::Precision() const {
    return clamp32(owner_.columns_[index_].column_size);
}

int32_t Field::NumericScale() const {
    return owner_.columns_[index_].decimal_digits;
}

int32_t Field::ActualSize() const {
    owner_.require_current_row();
    owner_.end_chunk_sequence();
    const Variant& value = owner_.stored_value(index_);
    if (auto spool = spool_of(value)) {
        return clamp32(spool->size());
    }
    return std::visit(
        [](const auto& v) -> int32_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ByteArray> || std::is_same_v<T, Text>) {
                return clamp32(v.size());
            } else if constexpr (std::is_same_v<T, int32_t>) {
                return 4;
            } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, Date>) {
                return 8;
            } else if constexpr (std::is_same_v<T, bool>) {
                return 2;
            } else if constexpr (std::is_same_v<T, Decimal>) {
                return 16;
            } else {
                return 0;
            }
        },
        value.storage());
}

Variant Field::Value() const {
    const Recordset& o = owner_;
    // Every value a caller reads passes here: a client-side row without edits is read
    // straight, and a value is copied as it is unless it is content appended in chunks.
    if (o.open_ && o.client_ && o.edits_.empty() && o.position_ < o.row_count_) {
        o.end_chunk_sequence();
        const Variant& value = o.client_row(o.position_)[index_];
        return value.is_object() ? visible(value) : value;
    }
    o.require_current_row();
    o.end_chunk_sequence();
    return visible(o.stored_value(index_));
}

bool Field::is_null() const {
    owner_.require_current_row();
    owner_.end_chunk_sequence();
    return owner_.stored_value(index_).is_null();
}

void Field::Value(const Variant& value) {
    owner_.require_editable(index_);
    // Only a value that differs from the row's is an edit: writing back what was read
    // changes nothing and compares nothing.
    const Variant& original = owner_.client_row(owner_.position_)[index_];
    if (same_value(visible(original), value)) {
        owner_.edits_.erase(index_);
    } else {
        owner_.edits_[index_] = value;
    }
    owner_.end_chunk_sequence();
}

void Field::restart_chunks() {
    owner_.end_chunk_sequence();
}

void Field::AppendChunk(const Variant& data) {
    if (data.is_null()) {
        Value(data);
        return;
    }
    if (!data.is_bytes()) {
        raise(adoerr::kArgumentsWrongType, u"ADODB.Field");
    }
    AppendChunk(std::span<const uint8_t>(data.bytes()));
}

void Field::AppendChunk(std::span<const uint8_t> data) {
    owner_.require_editable(index_);
    const int32_t type = Type();
    if (type != adBinary && type != adVarBinary && type != adLongVarBinary) {
        raise(adoerr::kNotAllowedHere, u"ADODB.Field");
    }
    owner_.reading_field_ = Recordset::kNoField;
    if (owner_.appending_field_ != index_) {
        owner_.edits_[index_] = Variant(std::shared_ptr<Object>(std::make_shared<ChunkSpool>()));
        owner_.appending_field_ = index_;
    }
    spool_of(owner_.edits_[index_])->append(data);
}

Variant Field::GetChunk(int32_t length) {
    owner_.require_current_row();
    if (length < 0) {
        raise(adoerr::kArgumentsWrongType, u"ADODB.Field");
    }
    if (owner_.reading_field_ != index_ || chunk_generation_ != owner_.move_count_) {
        chunk_generation_ = owner_.move_count_;
        chunk_offset_ = 0;
    }
    owner_.appending_field_ = Recordset::kNoField;
    owner_.reading_field_ = index_;
    const Variant& value = owner_.stored_value(index_);
    if (value.is_null()) {
        return Null{};
    }
    if (auto spool = spool_of(value)) {
        if (chunk_offset_ >= spool->size()) {
            return Null{};
        }
        ByteArray out(static_cast<size_t>(
            std::min<uint64_t>(static_cast<uint64_t>(length), spool->size() - chunk_offset_)));
        chunk_offset_ += spool->read(chunk_offset_, out);
        return out;
    }
    if (const auto* bytes = std::get_if<ByteArray>(&value.storage())) {
        if (chunk_offset_ >= bytes->size()) {
            return Null{};
        }
        const auto offset = static_cast<size_t>(chunk_offset_);
        const size_t n = std::min(static_cast<size_t>(length), bytes->size() - offset);
        const auto begin = bytes->begin() + static_cast<std::ptrdiff_t>(chunk_offset_);
        chunk_offset_ += n;
        return ByteArray(begin, begin + static_cast<std::ptrdiff_t>(n));
    }
    if (const auto* text = std::get_if<Text>(&value.storage())) {
        if (chunk_offset_ >= text->size()) {
            return Null{};
        }
        const auto offset = static_cast<size_t>(chunk_offset_);
        const size_t n = std::min(static_cast<size_t>(length), text->size() - offset);
        Text out = text->substr(offset, n);
        chunk_offset_ += n;
        return out;
    }
    raise(adoerr::kNotAllowedHere, u"ADODB.Field");
}

} // namespace pelto::ado
