// The message layer of the string cipher: a byte message laid out with its length in
// front and zero bytes behind, enciphered block by block (electronic codebook) with
// Rijndael of a 256-bit block and a 256-bit key, and the way back with its checks.
//
// Layout of a message of L bytes before encryption: L as a signed 32-bit
// little-endian integer, the L bytes, zero bytes up to the next multiple of 32 (none
// when L + 4 already is one). The cipher form is exactly that long.
#pragma once

#include "cipher/rijndael_engine.h"
#include "cipher/rijndael_tables.h"
#include "cipher/word_ops.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace pelto::cipher {

// A byte array that may never have been given a size (std::nullopt); a size of zero
// is a size.
using MaybeBytes = std::optional<ByteView>;

class MessageLayer {
public:
    static constexpr size_t kBlockBytes = 32;
    static constexpr size_t kKeyBytes = 32;
    static constexpr size_t kLengthBytes = 4;

    // Every message operation shares the program's one set of tables.
    MessageLayer();

    static bool f_IsArrayReady(const MaybeBytes& array) { return array.has_value(); }

    // The cipher form of message under key: the first 32 key bytes, zero-filled when
    // the key is shorter. An array without a size on either side gives no bytes. A
    // message too long for its 32-bit length field raises VbError 6 (overflow).
    Bytes f_EncryptBytes(const MaybeBytes& message, const MaybeBytes& key);

    // The message back from its cipher form, or no bytes when the form is not valid
    // for the key: no size, a length that is not a positive multiple of 32, or a length
    // field that is not positive or does not fit the deciphered bytes. Never throws.
    Bytes f_DecryptBytes(const MaybeBytes& cipher, const MaybeBytes& key) noexcept;

private:
    using KeyBlock = std::array<uint8_t, kKeyBytes>;

    struct Schedule {
        KeyBlock key{};
        RijndaelEngine engine;
    };

    static KeyBlock key_block(ByteView key);
    // The engine keyed with key. The schedule depends on nothing but the key block, so
    // the last two are kept: the text operations alternate between two key texts.
    const RijndaelEngine& engine_for(const KeyBlock& key);

    std::shared_ptr<const RijndaelTables> tables_;
    std::array<std::optional<Schedule>, 2> schedules_;
    size_t next_slot_ = 0;
};

} // namespace pelto::cipher
