// fG_복호화 and the hexadecimal reader on arbitrary input: nothing may crash, leak or
// read out of bounds, and the only errors that may escape are the two of malformed
// digits (9, subscript out of range; 13, type mismatch).
//
// Input: a first byte of flags (bit 0: the rest is UTF-16 code units, low byte first;
// otherwise one code unit per byte, so that digits are common; bit 1: the first key
// text), then the text.
#include "cipher/cls_zan_cipher.h"
#include "cipher/text_form.h"
#include "core/error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using pelto::Text;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_cipher_decrypt: %s\n", what);
    std::abort();
}

void require(bool condition, const char* what) {
    if (!condition) {
        fail(what);
    }
}

bool is_malformed_digits_error(const pelto::VbError& e) {
    return e.number() == pelto::vberr::kSubscriptOutOfRange ||
           e.number() == pelto::vberr::kTypeMismatch;
}

Text upper_hex_letters(Text text) {
    for (auto& c : text) {
        if (c >= u'a' && c <= u'f') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return text;
}

Text decode_input(const uint8_t* data, size_t size, bool utf16) {
    Text text;
    if (utf16) {
        for (size_t i = 0; i + 1 < size; i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8U)));
        }
    } else {
        text.assign(data, data + size);
    }
    return text;
}

bool passes_through(const Text& text) {
    const Text core = pelto::trim(text);
    return core.empty() || core == pelto::clsZan암호화::kFieldMask;
}

// The hexadecimal reader: reading and writing back gives the digits in upper case.
// Returns the error number it raised, 0 for none.
int check_hex_reader(const Text& text) {
    try {
        const pelto::cipher::Bytes bytes = pelto::cipher::read_hex_pairs(text);
        require(bytes.size() * 2 == text.size(), "hex reader: wrong byte count");
        require(pelto::cipher::hex_upper(bytes) == upper_hex_letters(text),
                "hex reader: digits do not round-trip");
        return 0;
    } catch (const pelto::VbError& e) {
        require(is_malformed_digits_error(e), "hex reader: an error other than 9 or 13");
        return e.number();
    } catch (...) {
        fail("hex reader: an exception that is not a VbError");
    }
}

void check_decryption(pelto::clsZan암호화& cipher, const Text& text, bool before, int hex_error) {
    try {
        const Text plain = cipher.fG_복호화(text, before);
        if (passes_through(text)) {
            require(plain == text.substr(0, 14), "blank or mask not passed through");
        } else {
            require(hex_error == 0, "malformed digits accepted");
            require(plain.size() >= 14, "result shorter than 14 characters");
        }
    } catch (const pelto::VbError& e) {
        require(is_malformed_digits_error(e), "fG_복호화: an error other than 9 or 13");
        require(!passes_through(text) && e.number() == hex_error,
                "fG_복호화 and the hex reader disagree");
    } catch (...) {
        fail("fG_복호화: an exception that is not a VbError");
    }
}

// Any text that is enciphered comes back with spaces up to 14 characters.
void check_round_trip(pelto::clsZan암호화& cipher, const Text& text, bool before) {
    if (passes_through(text) || pelto::trim(text).size() == 64) {
        return;
    }
    const Text digits = cipher.fG_암호화(text, before);
    Text expected = text;
    if (expected.size() < 14) {
        expected.append(14 - expected.size(), u' ');
    }
    require(cipher.fG_복호화(digits, before) == expected, "round trip lost the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // One instance for the whole run, as the program keeps one: its kept key schedules
    // must not make one call depend on another.
    static pelto::clsZan암호화 cipher;
    const bool utf16 = (data[0] & 1U) != 0;
    const bool before = (data[0] & 2U) != 0;
    const Text text = decode_input(data + 1, size - 1, utf16);

    const int hex_error = check_hex_reader(text);
    check_decryption(cipher, text, before, hex_error);
    check_decryption(cipher, text, !before, hex_error);
    check_round_trip(cipher, text, before);
    return 0;
}
