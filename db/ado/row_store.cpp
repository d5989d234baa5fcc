#include "db/ado/row_store.h"

#include <algorithm>

namespace pelto::ado {

namespace {

// Small enough to come from the allocator's heap rather than a mapping of its own (the
// rows of a large result are then reused memory, not fresh pages each time), large
// enough that the chunk list stays short.
constexpr size_t kChunkBytes = size_t{64} * 1024;

} // namespace

RowStore::RowStore(size_t columns)
    : columns_(columns), rows_per_chunk_(std::max<size_t>(
                             1, kChunkBytes / (sizeof(Variant) * std::max<size_t>(1, columns)))) {}

std::vector<Variant>& RowStore::room_for_row() {
    // Full by the count of its rows, not by its capacity (which may exceed what was
    // asked): row() finds a row by that count.
    if (chunks_.empty() || (columns_ > 0 && chunks_.back().size() >= rows_per_chunk_ * columns_)) {
        chunks_.emplace_back().reserve(rows_per_chunk_ * columns_);
    }
    return chunks_.back();
}

void RowStore::clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
}

} // namespace pelto::ado
