#include "cipher/text_form.h"

#include "core/error.h"

namespace pelto::cipher {

namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";

// Value of one hexadecimal digit, or -1.
int digit_value(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

} // namespace

Bytes utf16_bytes(TextView text) {
    Bytes bytes(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(text[i] & 0xFFU);
        bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8U);
    }
    return bytes;
}

Text text_from_utf16_bytes(ByteView bytes) {
    Text text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8U));
    }
    return text;
}

Text hex_upper(ByteView bytes) {
    Text digits(bytes.size() * 2, u'0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        digits[2 * i] = kDigits[bytes[i] >> 4U];
        digits[2 * i + 1] = kDigits[bytes[i] & 0x0FU];
    }
    return digits;
}

Bytes read_hex_pairs(TextView digits) {
    if (digits.size() % 2 != 0) {
        throw VbError::runtime(vberr::kSubscriptOutOfRange);
    }
    Bytes bytes(digits.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int high = digit_value(digits[2 * i]);
        const int low = digit_value(digits[2 * i + 1]);
        if (high < 0 || low < 0) {
            throw VbError::runtime(vberr::kTypeMismatch);
        }
        bytes[i] = static_cast<uint8_t>((high << 4) | low);
    }
    return bytes;
}

} // namespace pelto::cipher
