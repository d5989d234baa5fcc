// The rows of a client-side record set: their values one row after the other, in chunks
// of a fixed capacity. A record set learns how many rows it has only after reading the
// last one; in one growing array every growth step would move all the values read so far
// and touch a fresh block twice the size. Chunks are filled once and never move.
#pragma once

#include "core/variant.h"

#include <cstddef>
#include <type_traits>
#include <vector>

namespace pelto::ado {

// The chunk list itself still grows; its growth must move the chunks, never copy them.
static_assert(std::is_nothrow_move_constructible_v<Variant>);
static_assert(std::is_nothrow_move_constructible_v<std::vector<Variant>>);

class RowStore {
public:
    RowStore() = default;
    explicit RowStore(size_t columns);

    // The chunk the next row's values are appended to (`columns` of them, with
    // emplace_back): it has room for them without growing. Call once per row.
    std::vector<Variant>& room_for_row();
    // The values of row `row` (counted from 0), `columns` of them. Every field value a
    // caller reads finds its row here: a chunk holds a power of two of rows, so that a
    // shift and a mask find it rather than two divisions.
    Variant* row(size_t row) {
        return chunks_[row >> chunk_shift_].data() + (row & row_mask_) * columns_;
    }
    const Variant* row(size_t row) const {
        return chunks_[row >> chunk_shift_].data() + (row & row_mask_) * columns_;
    }
    void clear();

private:
    size_t columns_ = 0;
    size_t chunk_shift_ = 0; // a chunk holds 2^chunk_shift_ rows
    size_t row_mask_ = 0;
    std::vector<std::vector<Variant>> chunks_;
};

} // namespace pelto::ado
