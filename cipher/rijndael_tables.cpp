#include "cipher/rijndael_tables.h"

#include "cipher/word_ops.h"

#include <bit>

namespace pelto::cipher {

std::shared_ptr<const RijndaelTables> RijndaelTables::shared() {
    static const std::shared_ptr<const RijndaelTables> tables =
        std::make_shared<const RijndaelTables>();
    return tables;
}

RijndaelTables::RijndaelTables() {
    // Powers and logarithms of the generator 3. At i = 255 the power is 1 again, so
    // mLog[1] ends as 255, which is 0 modulo 255 like the mLog[1] = 0 it replaces.
    mPow[0] = 1;
    mPow[1] = 3;
    mLog[1] = 0;
    mLog[3] = 1;
    for (unsigned i = 2; i < 256; ++i) {
        mPow[i] = static_cast<uint8_t>(mPow[i - 1] ^ f_XTime(mPow[i - 1]));
        mLog[mPow[i]] = static_cast<uint8_t>(i);
    }

    mSBox[0] = 0x63;
    mInvSBox[0x63] = 0;
    for (unsigned i = 1; i < 256; ++i) {
        const uint8_t s = f_SBoxByte(static_cast<uint8_t>(i));
        mSBox[i] = s;
        mInvSBox[s] = static_cast<uint8_t>(i);
    }

    mRoundConst[0] = 1;
    for (size_t i = 1; i < mRoundConst.size(); ++i) {
        mRoundConst[i] = f_XTime(mRoundConst[i - 1]);
    }

    for (unsigned i = 0; i < 256; ++i) {
        const uint8_t s = mSBox[i];
        mFwdTable[i] = f_Pack(f_XTime(s), s, s, static_cast<uint8_t>(s ^ f_XTime(s)));
        const uint8_t t = mInvSBox[i];
        mInvTable[i] = f_Pack(f_GfMul(mInvMixCoef[3], t), f_GfMul(mInvMixCoef[2], t),
                              f_GfMul(mInvMixCoef[1], t), f_GfMul(mInvMixCoef[0], t));
        for (unsigned r = 0; r < 4; ++r) {
            mFwdRows[r][i] = std::rotl(mFwdTable[i], static_cast<int>(8 * r));
            mInvRows[r][i] = std::rotl(mInvTable[i], static_cast<int>(8 * r));
        }
    }
}

uint8_t RijndaelTables::f_GfMul(uint8_t a, uint8_t b) const {
    if (a == 0 || b == 0) {
        return 0;
    }
    return mPow[(static_cast<unsigned>(mLog[a]) + mLog[b]) % 255U];
}

uint8_t RijndaelTables::f_SBoxByte(uint8_t x) const {
    // Multiplicative inverse, then the affine transformation.
    const uint8_t y = mPow[255U - mLog[x]];
    return static_cast<uint8_t>(y ^ std::rotl(y, 1) ^ std::rotl(y, 2) ^ std::rotl(y, 3) ^
                                std::rotl(y, 4) ^ 0x63U);
}

uint32_t RijndaelTables::f_SubWord(uint32_t w) const {
    return f_Pack(mSBox[byte_of(w, 0)], mSBox[byte_of(w, 1)], mSBox[byte_of(w, 2)],
                  mSBox[byte_of(w, 3)]);
}

uint8_t RijndaelTables::f_Product(uint32_t x, uint32_t y) const {
    uint8_t sum = 0;
    for (unsigned r = 0; r < 4; ++r) {
        sum ^= f_GfMul(byte_of(x, r), byte_of(y, r));
    }
    return sum;
}

uint32_t RijndaelTables::f_InvMixColumn(uint32_t column) const {
    // Each result byte is the dot product of the column with the coefficient column,
    // rotated one row further for each lower result byte.
    uint32_t c = f_Pack(mInvMixCoef[0], mInvMixCoef[1], mInvMixCoef[2], mInvMixCoef[3]);
    std::array<uint8_t, 4> b{};
    b[3] = f_Product(c, column);
    for (int r = 2; r >= 0; --r) {
        c = std::rotl(c, 24);
        b[static_cast<size_t>(r)] = f_Product(c, column);
    }
    return f_Pack(b[0], b[1], b[2], b[3]);
}

} // namespace pelto::cipher
