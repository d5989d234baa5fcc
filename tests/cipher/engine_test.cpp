// The block engine against published and independently produced known answers.
#include "cipher/rijndael_engine.h"
#include "tests/cipher/vector_files.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace pelto::cipher {
namespace {

// One engine runs every vector of a file in turn, so a key schedule or block length
// left over from the previous vector would show as a wrong answer.
void check_file(const std::string& file_name, size_t expected_count) {
    const auto vectors = testing::read_block_vectors(file_name);
    ASSERT_EQ(vectors.size(), expected_count) << file_name;
    RijndaelEngine engine(std::make_shared<const RijndaelTables>());
    for (const auto& v : vectors) {
        engine.s_SetKey(v.nb, v.nk, v.key);
        EXPECT_EQ(engine.rounds(), std::max(v.nb, v.nk) + 6) << v.where;
        Bytes block = v.plain;
        engine.s_EncryptBlock(block.data());
        EXPECT_EQ(block, v.sealed) << v.where << " (encryption)";
        block = v.sealed;
        engine.s_DecryptBlock(block.data());
        EXPECT_EQ(block, v.plain) << v.where << " (decryption)";
    }
}

TEST(RijndaelEngine, MatchesAesKnownAnswersOfFips197) {
    check_file("fips197_appendix_c.txt", 3);
}

TEST(RijndaelEngine, MatchesRijndaelForEveryBlockAndKeyLength) {
    check_file("rijndael_block_and_key_lengths.txt", 9);
}

} // namespace
} // namespace pelto::cipher
