// The string cipher: texts into upper-case hexadecimal digits and back, under one of
// two key texts built into the class. The password column of the central institution
// table holds this form.
#pragma once

#include "cipher/message_layer.h"
#include "cipher/word_ops.h"
#include "core/text.h"

namespace pelto {

class clsZan암호화 {
public:
    // The key texts; rbeforeKey True selects the first.
    static constexpr TextView kBeforeKeyText = u"KelpDrum7316";
    static constexpr TextView kAfterKeyText = u"AfortheQforthePlumR";
    // The empty field mask: passed through as it is, like a blank text.
    static constexpr TextView kFieldMask = u"______-_______";
    // Deciphered texts shorter than this are filled with spaces up to it.
    static constexpr size_t kMinPlainLength = 14;
    // The digit count of the cipher form of any text of 1 to 14 characters.
    static constexpr size_t kShortFormDigits = 64;

    clsZan암호화();

    // The hexadecimal form of strR_values; strR_values itself when it is blank after
    // trimming, the field mask, or 64 characters long after trimming (then taken to
    // be enciphered already).
    Text fG_암호화(const Text& strR_values, bool rbeforeKey);

    // The text back from its hexadecimal form, filled with spaces to 14 characters;
    // the first 14 characters of strR_values when it is blank or the field mask.
    // Malformed digits raise VbError 9 (odd count) or 13 (a pair that is not
    // hexadecimal); digits that do not decipher under the key give 14 spaces.
    Text fG_복호화(const Text& strR_values, bool rbeforeKey);

private:
    const cipher::Bytes& key_bytes(bool rbeforeKey) const;

    cipher::MessageLayer layer_;
    cipher::Bytes before_key_;
    cipher::Bytes after_key_;
};

} // namespace pelto
