// Text as the installer sees it: counted UTF-16, with the conversions that happen
// only at the edges (UTF-8 for Linux paths and terminals, code page 949 for the
// Windows "A" functions).
#pragma once

#include <string>
#include <string_view>

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

} // namespace pelto
