#include "cipher/rijndael_engine.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <utility>

namespace pelto::cipher {

namespace {

bool is_word_count(int n) {
    return n == 4 || n == 6 || n == 8;
}

// Row-shift offsets of rows 1, 2 and 3: wider blocks shift rows 2 and 3 further.
template <size_t Nb> constexpr size_t shift_offset(int row) {
    if (row == 1) {
        return 1;
    }
    if constexpr (Nb >= 8) {
        return row == 2 ? 3 : 4;
    } else {
        return row == 2 ? 2 : 3;
    }
}

// Source column of row r for column j: forward shifts take from the right, inverse
// shifts from the left.
template <size_t Nb, bool Inverse> constexpr size_t source_column(size_t j, int row) {
    if constexpr (Inverse) {
        return (Nb + j - shift_offset<Nb>(row)) % Nb;
    } else {
        return (j + shift_offset<Nb>(row)) % Nb;
    }
}

using RowTables = std::array<std::array<uint32_t, 256>, 4>;

template <size_t Nb, bool Inverse, int J, int Row>
constexpr int kSource = source_column<Nb, Inverse>(J, Row);

// One inner round: the row shift, the S-box and the column mixing in one table look-up
// per byte (row r's table holds the mixed column of the S-box value rotated by r
// bytes), then the round key. Columns are unrolled at compile time so
// that the state stays in registers.
template <size_t Nb, bool Inverse, size_t... J>
inline void inner_round(std::array<uint32_t, Nb>& out, const std::array<uint32_t, Nb>& in,
                        const uint32_t* round_key, const RowTables& rows,
                        std::index_sequence<J...> /*columns*/) {
    ((out[J] = round_key[J] ^ rows[0][byte_of(in[J], 0)] ^
               rows[1][byte_of(in[kSource<Nb, Inverse, J, 1>], 1)] ^
               rows[2][byte_of(in[kSource<Nb, Inverse, J, 2>], 2)] ^
               rows[3][byte_of(in[kSource<Nb, Inverse, J, 3>], 3)]),
     ...);
}

// The last round has no column mixing: the S-box value of row r lands in byte r.
template <size_t Nb, bool Inverse, size_t... J>
inline void last_round(uint8_t* block, const std::array<uint32_t, Nb>& in,
                       const uint32_t* round_key, const uint8_t* sbox,
                       std::index_sequence<J...> /*columns*/) {
    (s_UnpackAt(round_key[J] ^ f_Pack(sbox[byte_of(in[J], 0)],
                                      sbox[byte_of(in[kSource<Nb, Inverse, J, 1>], 1)],
                                      sbox[byte_of(in[kSource<Nb, Inverse, J, 2>], 2)],
                                      sbox[byte_of(in[kSource<Nb, Inverse, J, 3>], 3)]),
                block + 4 * J),
     ...);
}

// One block through the rounds. The forward and inverse ciphers share this shape;
// they differ in round keys, row tables, row shifts and S-box. The block length is a
// template argument so that the row shifts are constants.
template <size_t Nb, bool Inverse>
void transform_block(const uint32_t* round_key, int rounds, const RowTables& rows,
                     const std::array<uint8_t, 256>& sbox, uint8_t* block) {
    constexpr auto columns = std::make_index_sequence<Nb>{};
    std::array<uint32_t, Nb> x{};
    std::array<uint32_t, Nb> y{};
    for (size_t c = 0; c < Nb; ++c) {
        x[c] = f_PackAt(block + 4 * c) ^ round_key[c];
    }
    round_key += Nb;

    // Inner rounds two at a time, so that the two state arrays trade roles without a
    // copy.
    int round = 1;
    for (; round + 1 < rounds; round += 2) {
        inner_round<Nb, Inverse>(y, x, round_key, rows, columns);
        inner_round<Nb, Inverse>(x, y, round_key + Nb, rows, columns);
        round_key += static_cast<ptrdiff_t>(2 * Nb);
    }
    if (round < rounds) {
        inner_round<Nb, Inverse>(y, x, round_key, rows, columns);
        last_round<Nb, Inverse>(block, y, round_key + Nb, sbox.data(), columns);
    } else {
        last_round<Nb, Inverse>(block, x, round_key, sbox.data(), columns);
    }
}

template <bool Inverse>
void dispatch(int nb, const uint32_t* round_key, int rounds, const RowTables& rows,
              const std::array<uint8_t, 256>& sbox, uint8_t* block) {
    switch (nb) {
    case 4:
        transform_block<4, Inverse>(round_key, rounds, rows, sbox, block);
        break;
    case 6:
        transform_block<6, Inverse>(round_key, rounds, rows, sbox, block);
        break;
    case 8:
        transform_block<8, Inverse>(round_key, rounds, rows, sbox, block);
        break;
    default:
        throw std::logic_error("Rijndael block used before its key was set");
    }
}

} // namespace

RijndaelEngine::RijndaelEngine(std::shared_ptr<const RijndaelTables> tables)
    : tables_(std::move(tables)) {
    if (!tables_) {
        throw std::invalid_argument("Rijndael engine without tables");
    }
}

void RijndaelEngine::s_SetKey(int blockWords, int keyWords, ByteView key) {
    if (!is_word_count(blockWords) || !is_word_count(keyWords)) {
        throw std::invalid_argument("Rijndael block and key lengths are 4, 6 or 8 words");
    }
    if (key.size() < 4 * static_cast<size_t>(keyWords)) {
        throw std::invalid_argument("Rijndael key shorter than its length in words");
    }
    const RijndaelTables& t = *tables_;
    const int nb = blockWords;
    const int nk = keyWords;
    const int nr = std::max(nb, nk) + 6;
    const int n = nb * (nr + 1);

    std::array<uint32_t, kMaxKeyWords> w{};
    for (size_t i = 0; i < static_cast<size_t>(nk); ++i) {
        w[i] = f_PackAt(key.data() + 4 * i);
    }
    // Under the first-byte-lowest packing, a rotation left by 24 bits is RotWord and
    // the round constant changes byte 0 only.
    size_t k = 0;
    for (int j = nk; j < n; j += nk, ++k) {
        w[j] = w[j - nk] ^ t.f_SubWord(std::rotl(w[j - 1], 24)) ^ t.mRoundConst[k];
        if (nk <= 6) {
            for (int i = 1; i < nk && j + i < n; ++i) {
                w[j + i] = w[j + i - nk] ^ w[j + i - 1];
            }
        } else {
            for (int i = 1; i < 4 && j + i < n; ++i) {
                w[j + i] = w[j + i - nk] ^ w[j + i - 1];
            }
            if (j + 4 < n) {
                w[j + 4] = w[j + 4 - nk] ^ t.f_SubWord(w[j + 3]);
            }
            for (int i = 5; i < nk && j + i < n; ++i) {
                w[j + i] = w[j + i - nk] ^ w[j + i - 1];
            }
        }
    }

    // The equivalent inverse cipher takes the round keys in reverse order, the inner
    // ones through InvMixColumns.
    std::array<uint32_t, kMaxKeyWords> d{};
    for (int j = 0; j < nb; ++j) {
        d[n - nb + j] = w[j];
    }
    for (int i = nb; i < n - nb; i += nb) {
        for (int j = 0; j < nb; ++j) {
            d[n - nb - i + j] = t.f_InvMixColumn(w[i + j]);
        }
    }
    for (int j = n - nb; j < n; ++j) {
        d[j - (n - nb)] = w[j];
    }

    mBlockWords = nb;
    mKeyWords = nk;
    mRounds = nr;
    mEncKey = w;
    mDecKey = d;
}

void RijndaelEngine::s_EncryptBlock(uint8_t* block) const {
    dispatch<false>(mBlockWords, mEncKey.data(), mRounds, tables_->mFwdRows, tables_->mSBox, block);
}

void RijndaelEngine::s_DecryptBlock(uint8_t* block) const {
    dispatch<true>(mBlockWords, mDecKey.data(), mRounds, tables_->mInvRows, tables_->mInvSBox,
                   block);
}

} // namespace pelto::cipher
