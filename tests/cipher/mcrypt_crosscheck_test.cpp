// The block engine, the message layer and the text form against libmcrypt, on random
// blocks, keys and messages drawn from a fixed seed.
#include "cipher/cls_zan_cipher.h"
#include "cipher/message_layer.h"
#include "cipher/rijndael_engine.h"
#include "cipher/text_form.h"
#include "tests/cipher/mcrypt_peer.h"

#include <gtest/gtest.h>
#include <random>

namespace pelto::cipher {
namespace {

using testing::McryptRijndael;

Bytes random_bytes(std::mt19937& rng, size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes b(n);
    for (auto& x : b) {
        x = static_cast<uint8_t>(byte(rng));
    }
    return b;
}

// The message laid out and enciphered by libmcrypt: the peer's cipher form.
Bytes peer_seal(McryptRijndael& peer, const Bytes& message, const Bytes& key) {
    Bytes key32 = key;
    key32.resize(32, 0);
    size_t total = message.size() + 4;
    total += (32 - total % 32) % 32;
    Bytes layout(total, 0);
    for (int i = 0; i < 4; ++i) {
        layout[i] = static_cast<uint8_t>(message.size() >> (8 * i));
    }
    std::copy(message.begin(), message.end(), layout.begin() + 4);
    peer.set_key(key32.data(), 32);
    peer.encrypt(layout.data(), static_cast<int>(layout.size()));
    return layout;
}

TEST(McryptCrossCheck, BlocksAgreeForEveryBlockAndKeyLength) {
    std::mt19937 rng(20240611);
    RijndaelEngine engine(std::make_shared<const RijndaelTables>());
    for (const size_t nb : {4U, 6U, 8U}) {
        McryptRijndael peer(static_cast<int>(4 * nb));
        for (const size_t nk : {4U, 6U, 8U}) {
            for (int trial = 0; trial < 200; ++trial) {
                const Bytes key = random_bytes(rng, 4 * nk);
                const Bytes plain = random_bytes(rng, 4 * nb);
                engine.s_SetKey(static_cast<int>(nb), static_cast<int>(nk), key);
                peer.set_key(key.data(), static_cast<int>(4 * nk));

                Bytes ours = plain;
                engine.s_EncryptBlock(ours.data());
                Bytes theirs = plain;
                peer.encrypt(theirs.data(), static_cast<int>(4 * nb));
                ASSERT_EQ(ours, theirs) << "Nb " << nb << " Nk " << nk << " trial " << trial;

                engine.s_DecryptBlock(theirs.data());
                ASSERT_EQ(theirs, plain) << "Nb " << nb << " Nk " << nk << " trial " << trial;
            }
        }
    }
}

TEST(McryptCrossCheck, MessagesAgreeBothWays) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<size_t> length(1, 300);
    std::uniform_int_distribution<size_t> key_length(0, 40);
    McryptRijndael peer(32);
    MessageLayer layer;
    for (int trial = 0; trial < 300; ++trial) {
        const Bytes message =
            random_bytes(rng, trial < 64 ? static_cast<size_t>(trial + 1) : length(rng));
        const Bytes key = random_bytes(rng, key_length(rng));
        const Bytes theirs = peer_seal(peer, message, key);
        ASSERT_EQ(layer.f_EncryptBytes(message, key), theirs) << "trial " << trial;
        ASSERT_EQ(layer.f_DecryptBytes(theirs, key), message) << "trial " << trial;
    }
}

TEST(McryptCrossCheck, TextFormsAgree) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> unit(1, 0xFFFF);
    std::uniform_int_distribution<size_t> length(1, 40);
    McryptRijndael peer(32);
    clsZan암호화 cipher;
    for (int trial = 0; trial < 200; ++trial) {
        Text text(length(rng), u'a');
        for (auto& c : text) {
            c = static_cast<char16_t>(unit(rng));
        }
        if (text.size() == 64) {
            continue;
        }
        const bool before = trial % 2 == 0;
        const Bytes key =
            utf16_bytes(before ? clsZan암호화::kBeforeKeyText : clsZan암호화::kAfterKeyText);
        const Text expected = hex_upper(peer_seal(peer, utf16_bytes(text), key));
        ASSERT_EQ(cipher.fG_암호화(text, before), expected) << "trial " << trial;
    }
}

} // namespace
} // namespace pelto::cipher
