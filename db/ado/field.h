// ADO's Field: one column of a record set's current row.
#pragma once

#include "core/variant.h"

#include <cstdint>
#include <span>

namespace pelto::ado {

class Recordset;

class Field {
public:
    Field(Recordset& owner, size_t index) : owner_(owner), index_(index) {}
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    const Text& Name() const;
    int32_t Type() const;        // DataTypeEnum
    int32_t DefinedSize() const; // as the driver describes the column
    // The digits of a number, and the decimal digits of a decimal or of a timestamp's
    // fraction, as the driver describes the column.
    int32_t Precision() const;
    int32_t NumericScale() const;
    // Bytes of a binary value, characters of a text, the storage size of other values;
    // 0 for Null.
    int32_t ActualSize() const;

    // The current row's value (a pending edit when there is one). 3704 when the record
    // set is closed, 3021 when there is no current row.
    Variant Value() const;
    // Edits the current row of an updatable record set; Update writes it.
    void Value(const Variant& value);
    // The first call after any other operation on the record set replaces the value,
    // later calls add to it. `data` is a byte array.
    void AppendChunk(const Variant& data);
    void AppendChunk(std::span<const uint8_t> data);
    // The next `length` bytes of a binary value (Null once all were read). Successive
    // calls continue where the last one stopped, until anything else is done with the
    // record set's fields or rows; then the next call starts from the beginning again.
    Variant GetChunk(int32_t length);

    // Whether Value is Null, without copying a long value.
    bool is_null() const;
    // Ends the chunk sequence in progress: the next AppendChunk replaces the value
    // instead of adding to it, as after any other operation on the record set.
    void restart_chunks();

private:
    Recordset& owner_;
    size_t index_;
    uint64_t chunk_offset_ = 0;
    uint64_t chunk_generation_ = 0; // the record set's move count the offset belongs to
};

} // namespace pelto::ado
