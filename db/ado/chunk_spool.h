// The content that Field.AppendChunk collects until the record set's Update writes it.
// The first megabyte stays in memory; a larger content moves to a temporary file, so a
// file streamed into a field in chunks never sits in memory as a whole.
#pragma once

#include "core/variant.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>

namespace pelto::ado {

class ChunkSpool final : public Object {
public:
    static constexpr size_t kMemoryLimit = size_t{1} << 20;

    ChunkSpool() = default;
    ChunkSpool(const ChunkSpool&) = delete;
    ChunkSpool& operator=(const ChunkSpool&) = delete;
    ~ChunkSpool() override;

    // Throws VbError (E_FAIL) when the temporary file cannot be made or written.
    void append(std::span<const uint8_t> data);
    uint64_t size() const { return size_; }
    // Up to out.size() bytes from `offset`; the count read. Throws VbError on a read
    // error.
    size_t read(uint64_t offset, std::span<uint8_t> out) const;
    // The whole content (for Value and GetChunk, which hand out one byte array).
    ByteArray read_all() const;

private:
    void move_to_file();

    ByteArray memory_;
    std::filesystem::path path_;
    mutable std::fstream file_;
    uint64_t size_ = 0;
};

// The spool a value is, or null for any other value.
std::shared_ptr<ChunkSpool> spool_of(const Variant& value);
// A value as callers see it: content appended in chunks becomes its byte array.
Variant visible(const Variant& value);

} // namespace pelto::ado
