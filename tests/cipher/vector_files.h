// Reading the known-answer files of tests/cipher/vectors.
#pragma once

#include "cipher/word_ops.h"
#include "core/text.h"

#include <string>
#include <string_view>
#include <vector>

namespace pelto::cipher::testing {

// Bytes from hexadecimal digits (test data only; malformed digits fail the test).
Bytes from_hex(std::string_view digits);

// One Rijndael block: "Nb Nk key plaintext ciphertext".
struct BlockVector {
    int nb = 0;
    int nk = 0;
    Bytes key;
    Bytes plain;
    Bytes sealed;
    std::string where; // file:line for failure messages
};
std::vector<BlockVector> read_block_vectors(const std::string& file_name);

// One cipher text form: first|second DIGITS "text".
struct TextVector {
    bool first_key = true;
    Text digits;
    Text text;
    std::string where;
};
std::vector<TextVector> read_text_vectors(const std::string& file_name);

} // namespace pelto::cipher::testing
