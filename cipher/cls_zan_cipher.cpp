#include "cipher/cls_zan_cipher.h"

#include "cipher/text_form.h"

namespace pelto {

namespace {

// The text without leading and trailing spaces, as a view into it.
TextView trimmed(TextView text) {
    const size_t first = text.find_first_not_of(u' ');
    if (first == TextView::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

bool is_blank_or_mask(TextView text) {
    const TextView core = trimmed(text);
    return core.empty() || core == clsZan암호화::kFieldMask;
}

} // namespace

clsZan암호화::clsZan암호화()
    : before_key_(cipher::utf16_bytes(kBeforeKeyText)),
      after_key_(cipher::utf16_bytes(kAfterKeyText)) {}

const cipher::Bytes& clsZan암호화::key_bytes(bool rbeforeKey) const {
    return rbeforeKey ? before_key_ : after_key_;
}

Text clsZan암호화::fG_암호화(const Text& strR_values, bool rbeforeKey) {
    const cipher::Bytes& key = key_bytes(rbeforeKey);
    if (is_blank_or_mask(strR_values) || trimmed(strR_values).size() == kShortFormDigits) {
        return strR_values;
    }
    // The whole text, its spaces included, is enciphered.
    const cipher::Bytes message = cipher::utf16_bytes(strR_values);
    return cipher::hex_upper(
        layer_.f_EncryptBytes(cipher::ByteView(message), cipher::ByteView(key)));
}

Text clsZan암호화::fG_복호화(const Text& strR_values, bool rbeforeKey) {
    const cipher::Bytes& key = key_bytes(rbeforeKey);
    if (is_blank_or_mask(strR_values)) {
        return strR_values.substr(0, kMinPlainLength);
    }
    const cipher::Bytes sealed = cipher::read_hex_pairs(strR_values);
    const cipher::Bytes plain =
        layer_.f_DecryptBytes(cipher::ByteView(sealed), cipher::ByteView(key));
    Text text = cipher::text_from_utf16_bytes(plain);
    if (text.size() < kMinPlainLength) {
        text.append(kMinPlainLength - text.size(), u' ');
    }
    return text;
}

} // namespace pelto
