#include "tests/cipher/vector_files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace pelto::cipher::testing {

namespace {

// The non-comment lines of a vector file, each with its file:line.
std::vector<std::pair<std::string, std::string>> data_lines(const std::string& file_name) {
    const std::string path = std::string(PELTO_CIPHER_VECTORS_DIR) + "/" + file_name;
    std::ifstream in(path);
    EXPECT_TRUE(in.is_open()) << "cannot open " << path;
    std::vector<std::pair<std::string, std::string>> lines;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        lines.emplace_back(line, file_name + ":" + std::to_string(number));
    }
    return lines;
}

} // namespace

Bytes from_hex(std::string_view digits) {
    EXPECT_EQ(digits.size() % 2, 0U) << digits;
    Bytes bytes;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(
            static_cast<uint8_t>(std::stoul(std::string(digits.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::vector<BlockVector> read_block_vectors(const std::string& file_name) {
    std::vector<BlockVector> vectors;
    for (const auto& [line, where] : data_lines(file_name)) {
        std::istringstream fields(line);
        BlockVector v;
        std::string key;
        std::string plain;
        std::string sealed;
        fields >> v.nb >> v.nk >> key >> plain >> sealed;
        EXPECT_FALSE(fields.fail()) << where;
        v.key = from_hex(key);
        v.plain = from_hex(plain);
        v.sealed = from_hex(sealed);
        v.where = where;
        vectors.push_back(std::move(v));
    }
    return vectors;
}

std::vector<TextVector> read_text_vectors(const std::string& file_name) {
    std::vector<TextVector> vectors;
    for (const auto& [line, where] : data_lines(file_name)) {
        const size_t first_space = line.find(' ');
        const size_t second_space = line.find(' ', first_space + 1);
        const bool quoted = second_space != std::string::npos && line.size() >= second_space + 3 &&
                            line[second_space + 1] == '"' && line.back() == '"';
        EXPECT_TRUE(quoted) << where;
        if (!quoted) {
            continue;
        }
        TextVector v;
        v.first_key = line.substr(0, first_space) == "first";
        v.digits = from_utf8(line.substr(first_space + 1, second_space - first_space - 1));
        v.text = from_utf8(line.substr(second_space + 2, line.size() - second_space - 3));
        v.where = where;
        vectors.push_back(std::move(v));
    }
    return vectors;
}

} // namespace pelto::cipher::testing
