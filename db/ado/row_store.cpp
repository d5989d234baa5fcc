#include "db/ado/row_store.h"

#include <algorithm>

namespace pelto::ado {

namespace {

// Small enough to come from the allocator's heap rather than a mapping of its own (the
// rows of a large result are then reused memory, not fresh pages each time), large
// enough that the chunk list stays short.
constexpr size_t kChunkBytes = size_t{64} * 1024;

} // namespace

RowStore::RowStore(size_t columns) : columns_(columns) {
    const size_t fitting = kChunkBytes / (sizeof(Variant) * std::max<size_t>(1, columns));
    while ((size_t{2} << chunk_shift_) <= fitting) {
        ++chunk_shift_;
    }
    row_mask_ = (size_t{1} << chunk_shift_) - 1;
}

std::vector<Variant>& RowStore::room_for_row() {
    // Full by the count of its rows, not by its capacity (which may exceed what was
    // asked): row() finds a row by that count.
    const size_t values_per_chunk = (row_mask_ + 1) * columns_;
    if (chunks_.empty() || (columns_ > 0 && chunks_.back().size() >= values_per_chunk)) {
        chunks_.emplace_back().reserve(values_per_chunk);
    }
    return chunks_.back();
}

void RowStore::clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
}

} // namespace pelto::ado
