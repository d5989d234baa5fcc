// Byte and word helpers of the cipher. A word holds four bytes, the first byte in the
// lowest bits; every operation is plain unsigned 32-bit arithmetic.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pelto::cipher {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// Four bytes into a word, byte 0 lowest.
constexpr uint32_t f_Pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return static_cast<uint32_t>(b0) | (static_cast<uint32_t>(b1) << 8U) |
           (static_cast<uint32_t>(b2) << 16U) | (static_cast<uint32_t>(b3) << 24U);
}

// f_Pack of the four bytes starting at p.
inline uint32_t f_PackAt(const uint8_t* p) {
    return f_Pack(p[0], p[1], p[2], p[3]);
}

// The four bytes of w stored at p, byte 0 first.
inline void s_UnpackAt(uint32_t w, uint8_t* p) {
    p[0] = static_cast<uint8_t>(w);
    p[1] = static_cast<uint8_t>(w >> 8U);
    p[2] = static_cast<uint8_t>(w >> 16U);
    p[3] = static_cast<uint8_t>(w >> 24U);
}

// Byte r (0..3) of a word.
constexpr uint8_t byte_of(uint32_t w, unsigned r) {
    return static_cast<uint8_t>(w >> (8U * r));
}

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t f_XTime(uint8_t a) {
    return static_cast<uint8_t>((a << 1U) ^ ((a & 0x80U) != 0 ? 0x1BU : 0U));
}

} // namespace pelto::cipher
