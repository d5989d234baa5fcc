// Text to and from the wide strings of the Win32 "W" functions. On Windows wchar_t is a
// UTF-16 code unit, so these are plain copies; they exist to keep the casts in one place.
#pragma once

#include "core/text.h"

#include <string>
#include <string_view>

namespace pelto::platform::win32 {

inline std::wstring wide(TextView text) {
    return std::wstring(text.begin(), text.end());
}

inline Text from_wide(std::wstring_view text) {
    return Text(text.begin(), text.end());
}

// The text of a Win32 error code, for the run log ("5: Access is denied").
std::string describe_win32_error(unsigned long code);

// The system's own text of a Win32 error code, as it gives it ("Access is denied."),
// without its line end; empty when the system has none.
std::string win32_error_text(unsigned long code);

} // namespace pelto::platform::win32
