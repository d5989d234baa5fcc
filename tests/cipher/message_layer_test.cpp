// The message layer: sizes, layout, key block, the checks of decryption.
#include "cipher/message_layer.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace pelto::cipher {
namespace {

Bytes random_bytes(std::mt19937& rng, size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes b(n);
    for (auto& x : b) {
        x = static_cast<uint8_t>(byte(rng));
    }
    return b;
}

// The laid-out message as the engine would produce it, enciphered with a 256-bit key
// block: for crafting cipher forms the layer would never produce itself.
Bytes seal_layout(const Bytes& layout, const Bytes& key32) {
    RijndaelEngine engine(std::make_shared<const RijndaelTables>());
    engine.s_SetKey(8, 8, key32);
    Bytes sealed = layout;
    for (size_t o = 0; o < sealed.size(); o += 32) {
        engine.s_EncryptBlock(sealed.data() + o);
    }
    return sealed;
}

Bytes open_layout(const Bytes& sealed, const Bytes& key32) {
    RijndaelEngine engine(std::make_shared<const RijndaelTables>());
    engine.s_SetKey(8, 8, key32);
    Bytes layout = sealed;
    for (size_t o = 0; o < layout.size(); o += 32) {
        engine.s_DecryptBlock(layout.data() + o);
    }
    return layout;
}

Bytes layout_with_length_field(int32_t stated, size_t total) {
    Bytes layout(total, 0x41);
    const auto u = static_cast<uint32_t>(stated);
    for (int i = 0; i < 4; ++i) {
        layout[i] = static_cast<uint8_t>(u >> (8 * i));
    }
    return layout;
}

class MessageLayerTest : public ::testing::Test {
protected:
    MessageLayer layer;
    const Bytes key = Bytes{'K', 0, 'e', 0, 'y', 0};
    Bytes key32() const {
        Bytes k = key;
        k.resize(32, 0);
        return k;
    }
};

TEST_F(MessageLayerTest, CipherFormIsLengthPlusFourRoundedUpToBlocks) {
    const std::pair<size_t, size_t> cases[] = {{1, 32},  {28, 32}, {29, 64},
                                               {60, 64}, {61, 96}, {0, 32}};
    for (const auto& [length, expected] : cases) {
        EXPECT_EQ(layer.f_EncryptBytes(Bytes(length, 7), key).size(), expected) << length;
    }
}

TEST_F(MessageLayerTest, LayoutIsLittleEndianLengthThenMessageThenZeros) {
    const Bytes message{0xAA, 0xBB, 0xCC};
    const Bytes layout = open_layout(layer.f_EncryptBytes(message, key), key32());
    Bytes expected(32, 0);
    expected[0] = 3;
    expected[4] = 0xAA;
    expected[5] = 0xBB;
    expected[6] = 0xCC;
    EXPECT_EQ(layout, expected);

    const Bytes long_message(300, 1); // 300 = 0x012C
    const Bytes long_layout = open_layout(layer.f_EncryptBytes(long_message, key), key32());
    EXPECT_EQ(long_layout[0], 0x2C);
    EXPECT_EQ(long_layout[1], 0x01);
    EXPECT_EQ(long_layout[2], 0);
    EXPECT_EQ(long_layout[3], 0);
}

TEST_F(MessageLayerTest, EqualLaidOutBlocksGiveEqualCipherBlocks) {
    // 28 bytes fill the first block behind the length; two equal blocks follow.
    Bytes message(28, 1);
    const Bytes repeated(32, 9);
    message.insert(message.end(), repeated.begin(), repeated.end());
    message.insert(message.end(), repeated.begin(), repeated.end());
    const Bytes sealed = layer.f_EncryptBytes(message, key);
    ASSERT_EQ(sealed.size(), 96U);
    EXPECT_TRUE(std::equal(sealed.begin() + 32, sealed.begin() + 64, sealed.begin() + 64));
    EXPECT_FALSE(std::equal(sealed.begin(), sealed.begin() + 32, sealed.begin() + 32));
}

TEST_F(MessageLayerTest, KeyBlockIsTheFirst32KeyBytesZeroFilled) {
    const Bytes message{1, 2, 3};
    EXPECT_EQ(layer.f_EncryptBytes(message, Bytes{}), layer.f_EncryptBytes(message, Bytes(32, 0)));
    EXPECT_EQ(layer.f_EncryptBytes(message, key), layer.f_EncryptBytes(message, key32()));
    Bytes longer = key32();
    longer.resize(40, 0xEE);
    EXPECT_EQ(layer.f_EncryptBytes(message, longer), layer.f_EncryptBytes(message, key32()));
    Bytes other = key32();
    other[31] = 1;
    EXPECT_NE(layer.f_EncryptBytes(message, other), layer.f_EncryptBytes(message, key32()));
}

TEST_F(MessageLayerTest, ArraysWithoutSizeGiveNoBytes) {
    const Bytes message{1, 2, 3};
    EXPECT_TRUE(layer.f_EncryptBytes(std::nullopt, key).empty());
    EXPECT_TRUE(layer.f_EncryptBytes(message, std::nullopt).empty());
    const Bytes sealed = layer.f_EncryptBytes(message, key);
    EXPECT_TRUE(layer.f_DecryptBytes(std::nullopt, key).empty());
    EXPECT_TRUE(layer.f_DecryptBytes(sealed, std::nullopt).empty());
    EXPECT_FALSE(MessageLayer::f_IsArrayReady(std::nullopt));
    EXPECT_TRUE(MessageLayer::f_IsArrayReady(ByteView()));
}

TEST_F(MessageLayerTest, DecryptionRefusesFormsThatAreNotWholeBlocks) {
    const Bytes sealed = layer.f_EncryptBytes(Bytes(40, 3), key);
    for (size_t n : {0, 1, 31, 33, 63}) {
        EXPECT_TRUE(layer.f_DecryptBytes(ByteView(sealed).first(n), key).empty()) << n;
    }
}

TEST_F(MessageLayerTest, DecryptionChecksTheLengthField) {
    struct Case {
        int32_t stated;
        size_t total;
        size_t expected; // bytes returned
    };
    const Case cases[] = {
        {0, 32, 0},  {-1, 32, 0},  {INT32_MIN, 64, 0}, {INT32_MAX, 64, 0}, {29, 32, 0},
        {61, 64, 0}, {28, 32, 28}, {60, 64, 60},       {1, 64, 1},         {33, 96, 33},
    };
    for (const auto& c : cases) {
        const Bytes sealed = seal_layout(layout_with_length_field(c.stated, c.total), key32());
        const Bytes plain = layer.f_DecryptBytes(sealed, key);
        EXPECT_EQ(plain.size(), c.expected) << c.stated << " in " << c.total;
        EXPECT_EQ(plain, Bytes(c.expected, 0x41)) << c.stated << " in " << c.total;
    }
}

TEST_F(MessageLayerTest, RoundTripsAndRefusesTheWrongKey) {
    std::mt19937 rng(1729);
    const size_t lengths[] = {1, 2, 27, 28, 29, 31, 32, 33, 59, 60, 61, 64, 255, 1000, 65536 + 7};
    const Bytes other_key = Bytes{'O', 0, 't', 0, 'h', 0};
    for (size_t length : lengths) {
        const Bytes message = random_bytes(rng, length);
        const Bytes sealed = layer.f_EncryptBytes(message, key);
        EXPECT_EQ(layer.f_DecryptBytes(sealed, key), message) << length;
        EXPECT_TRUE(layer.f_DecryptBytes(sealed, other_key).empty()) << length;
    }
    // The empty message is laid out like any other but deciphers to no bytes.
    EXPECT_TRUE(layer.f_DecryptBytes(layer.f_EncryptBytes(Bytes{}, key), key).empty());
}

TEST_F(MessageLayerTest, ResultsDoNotDependOnEarlierCallsWithOtherKeys) {
    // More keys than the instance keeps schedules for, in an order that evicts each.
    std::mt19937 rng(42);
    std::vector<Bytes> keys;
    std::vector<Bytes> messages;
    std::vector<Bytes> expected;
    for (int i = 0; i < 3; ++i) {
        keys.push_back(random_bytes(rng, 32));
        messages.push_back(random_bytes(rng, 45));
        MessageLayer fresh;
        expected.push_back(fresh.f_EncryptBytes(messages.back(), keys.back()));
    }
    const int order[] = {0, 1, 0, 2, 1, 2, 0, 0, 2, 1, 1, 0};
    for (int i : order) {
        EXPECT_EQ(layer.f_EncryptBytes(messages[i], keys[i]), expected[i]) << i;
        EXPECT_EQ(layer.f_DecryptBytes(expected[i], keys[i]), messages[i]) << i;
    }
}

} // namespace
} // namespace pelto::cipher
