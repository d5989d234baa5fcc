// The text forms of the string cipher: text as bytes (UTF-16 code units, low byte
// first, no code-page conversion) and bytes as hexadecimal digits.
#pragma once

#include "cipher/word_ops.h"
#include "core/text.h"

namespace pelto::cipher {

// Two bytes per code unit, low byte first.
Bytes utf16_bytes(TextView text);
// Two bytes per code unit, low byte first; an odd last byte makes no code unit.
Text text_from_utf16_bytes(ByteView bytes);

// Two upper-case digits per byte, high digit first, nothing between the pairs.
Text hex_upper(ByteView bytes);

// Reads two digits per byte, either case. An odd number of characters raises
// VbError 9 (subscript out of range) before any digit is read; a pair that is not two
// of 0-9, A-F, a-f raises VbError 13 (type mismatch). Signs, blanks and prefixes such
// as "0x" or "&H" are not digits.
Bytes read_hex_pairs(TextView digits);

} // namespace pelto::cipher
