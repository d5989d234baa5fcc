// The Rijndael tables: GF(2^8) powers and logarithms, the S-box and its inverse, the
// round constants and the forward and inverse round tables. All of them follow from
// the algorithm and are computed here once; nothing is stored as a literal.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace pelto::cipher {

class RijndaelTables {
public:
    // s_BuildTables.
    RijndaelTables();
    // The one set of tables of the program: they follow from the algorithm alone, so every
    // cipher object shares them instead of building its own.
    static std::shared_ptr<const RijndaelTables> shared();

    // Product of two field elements through the logarithm tables.
    uint8_t f_GfMul(uint8_t a, uint8_t b) const;
    // The S-box applied to each byte of a word.
    uint32_t f_SubWord(uint32_t w) const;
    // InvMixColumns of one column.
    uint32_t f_InvMixColumn(uint32_t column) const;

    // Coefficients of InvMixColumns, lowest byte first: 0x0B, 0x0D, 0x09, 0x0E.
    static constexpr std::array<uint8_t, 4> mInvMixCoef{0x0B, 0x0D, 0x09, 0x0E};

    std::array<uint8_t, 256> mPow{}; // powers of 3
    std::array<uint8_t, 256> mLog{}; // logarithms base 3, modulo 255
    std::array<uint8_t, 256> mSBox{};
    std::array<uint8_t, 256> mInvSBox{};
    std::array<uint8_t, 30> mRoundConst{}; // enough for Nb = 8 with Nk = 4
    std::array<uint32_t, 256> mFwdTable{}; // column (2s, s, s, 3s) of S-box value s
    std::array<uint32_t, 256> mInvTable{}; // column (14t, 9t, 13t, 11t) of inverse value t

    // The round tables rotated for rows 0 to 3 (rotations by 0, 8, 16 and 24 bits):
    // the same words as above, laid out so that a round needs no rotations.
    std::array<std::array<uint32_t, 256>, 4> mFwdRows{};
    std::array<std::array<uint32_t, 256>, 4> mInvRows{};

private:
    uint8_t f_SBoxByte(uint8_t x) const;
    uint8_t f_Product(uint32_t x, uint32_t y) const;
};

} // namespace pelto::cipher
