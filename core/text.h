// Text as the installer sees it: counted UTF-16, with the conversions that happen
// only at the edges (UTF-8 for Linux paths and terminals, code page 949 for the
// Windows "A" functions).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelto {

using Text = std::u16string;
using TextView = std::u16string_view;

// UTF-8 <-> UTF-16. Ill-formed input becomes U+FFFD; never throws.
Text from_utf8(std::string_view utf8);
std::string to_utf8(TextView text);

// VB string helpers on UTF-16 code units.
Text trim(TextView text);     // leading and trailing U+0020 only, as VB's Trim
Text to_upper(TextView text); // ASCII and full-width/Latin letters, as VB's UCase
bool ends_with(TextView text, TextView suffix);
bool contains(TextView text, TextView part);
// Case-insensitive comparison the way Windows compares names (simple upper-casing).
bool equals_ignore_case(TextView a, TextView b);
Text replace_all(TextView text, TextView from, TextView to);

// `text` without any of the characters of `blanks` at either end.
std::string_view trim_any(std::string_view text, std::string_view blanks);
TextView trim_any(TextView text, TextView blanks);

// One line of a text file and the line end that closes it: "\r\n", "\n", or nothing for
// a last line without one. `offset` is where the line starts in the whole text.
struct TextLine {
    std::string_view content;
    std::string_view end;
    size_t offset = 0;
};
// The lines of `bytes` with their own line ends kept, so that a file read this way can be
// written back byte for byte.
std::vector<TextLine> split_lines(std::string_view bytes);

} // namespace pelto
