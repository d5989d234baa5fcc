#include "cipher/message_layer.h"

#include "core/error.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace pelto::cipher {

namespace {

constexpr int kWords = 8; // 256-bit block and key

int32_t read_length_field(const uint8_t* p) {
    return static_cast<int32_t>(f_PackAt(p));
}

} // namespace

MessageLayer::MessageLayer() : tables_(RijndaelTables::shared()) {}

MessageLayer::KeyBlock MessageLayer::key_block(ByteView key) {
    KeyBlock block{};
    std::copy_n(key.begin(), std::min(key.size(), block.size()), block.begin());
    return block;
}

const RijndaelEngine& MessageLayer::engine_for(const KeyBlock& key) {
    for (const auto& slot : schedules_) {
        if (slot && slot->key == key) {
            return slot->engine;
        }
    }
    auto& slot = schedules_[next_slot_];
    next_slot_ = (next_slot_ + 1) % schedules_.size();
    slot.reset(); // a failed key set-up below must not leave a stale pairing behind
    RijndaelEngine engine(tables_);
    engine.s_SetKey(kWords, kWords, key);
    slot.emplace(Schedule{key, engine});
    return slot->engine;
}

Bytes MessageLayer::f_EncryptBytes(const MaybeBytes& message, const MaybeBytes& key) {
    if (!f_IsArrayReady(message) || !f_IsArrayReady(key)) {
        return {};
    }
    const RijndaelEngine& engine = engine_for(key_block(*key));

    const size_t length = message->size();
    constexpr size_t kMaxLength =
        static_cast<size_t>(std::numeric_limits<int32_t>::max()) - kLengthBytes - (kBlockBytes - 1);
    if (length > kMaxLength) {
        throw VbError::runtime(vberr::kOverflow);
    }
    size_t total = length + kLengthBytes;
    if (total % kBlockBytes != 0) {
        total += kBlockBytes - total % kBlockBytes;
    }

    // Laid out and enciphered in the one buffer that is returned.
    Bytes out(total, 0);
    s_UnpackAt(static_cast<uint32_t>(length), out.data());
    if (length > 0) {
        std::memcpy(out.data() + kLengthBytes, message->data(), length);
    }
    for (size_t offset = 0; offset < total; offset += kBlockBytes) {
        engine.s_EncryptBlock(out.data() + offset);
    }
    return out;
}

Bytes MessageLayer::f_DecryptBytes(const MaybeBytes& cipher, const MaybeBytes& key) noexcept {
    try {
        if (!f_IsArrayReady(cipher) || !f_IsArrayReady(key)) {
            return {};
        }
        const size_t total = cipher->size();
        // Zero bytes hold no length field, so they are as invalid as a partial block.
        if (total == 0 || total % kBlockBytes != 0) {
            return {};
        }
        const RijndaelEngine& engine = engine_for(key_block(*key));

        // The first block carries the length field; nothing else is needed to reject a
        // cipher form, and blocks past the message's end never reach the result.
        std::array<uint8_t, kBlockBytes> first{};
        std::memcpy(first.data(), cipher->data(), kBlockBytes);
        engine.s_DecryptBlock(first.data());
        const int64_t stated = read_length_field(first.data());
        if (stated <= 0 || stated > static_cast<int64_t>(total - kLengthBytes)) {
            return {};
        }
        const auto length = static_cast<size_t>(stated);

        Bytes out(length);
        const size_t head = std::min(length, kBlockBytes - kLengthBytes);
        std::memcpy(out.data(), first.data() + kLengthBytes, head);

        // Block at cipher offset o lands at o - 4 in the result; whole blocks are
        // deciphered in place there, the last partial one through a work block.
        for (size_t offset = kBlockBytes; offset - kLengthBytes < length; offset += kBlockBytes) {
            uint8_t* dest = out.data() + (offset - kLengthBytes);
            const size_t room = length - (offset - kLengthBytes);
            if (room >= kBlockBytes) {
                std::memcpy(dest, cipher->data() + offset, kBlockBytes);
                engine.s_DecryptBlock(dest);
            } else {
                std::array<uint8_t, kBlockBytes> work{};
                std::memcpy(work.data(), cipher->data() + offset, kBlockBytes);
                engine.s_DecryptBlock(work.data());
                std::memcpy(dest, work.data(), room);
            }
        }
        return out;
    } catch (...) {
        // Any failure inside (memory, above all) is a cipher form that gives no bytes.
        return {};
    }
}

} // namespace pelto::cipher
