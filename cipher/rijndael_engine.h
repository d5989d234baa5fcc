// The Rijndael block engine in its table-driven form: block and key lengths of 4, 6
// or 8 words each, the key schedule of the cipher and of the equivalent inverse
// cipher, and the encryption and decryption of one block in place.
#pragma once

#include "cipher/rijndael_tables.h"
#include "cipher/word_ops.h"

#include <array>
#include <cstdint>
#include <memory>

namespace pelto::cipher {

class RijndaelEngine {
public:
    // At most 8 words of block and key, 14 rounds: 8 x 15 round-key words.
    static constexpr size_t kMaxKeyWords = 120;

    explicit RijndaelEngine(std::shared_ptr<const RijndaelTables> tables);

    // Expands key (at least 4 * keyWords bytes) for blocks of blockWords words.
    // Lengths other than 4, 6 and 8 words, or a key that is too short, are
    // programming errors: std::invalid_argument.
    void s_SetKey(int blockWords, int keyWords, ByteView key);

    // Transforms the 4 * blockWords bytes at block in place. Needs s_SetKey.
    void s_EncryptBlock(uint8_t* block) const;
    void s_DecryptBlock(uint8_t* block) const;

    int block_words() const { return mBlockWords; }
    int key_words() const { return mKeyWords; }
    int rounds() const { return mRounds; }

private:
    std::shared_ptr<const RijndaelTables> tables_;
    int mKeyWords = 0;
    int mBlockWords = 0;
    int mRounds = 0;
    std::array<uint32_t, kMaxKeyWords> mEncKey{};
    // Round keys in reverse order, InvMixColumns applied to all but the first and last.
    std::array<uint32_t, kMaxKeyWords> mDecKey{};
};

} // namespace pelto::cipher
