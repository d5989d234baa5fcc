// Code page 949 (Unified Hangul Code), as a Korean-locale Windows converts for the "A"
// functions and for the bytes of Pelto.ini. Characters without a CP949 form become '?',
// as WideCharToMultiByte does with its default character. Each platform implements them:
// platform/portable/codepage_iconv.cpp with iconv's CP949, platform/win32/codepage.cpp
// with WideCharToMultiByte(949).
#pragma once

#include "core/text.h"

#include <string>
#include <string_view>

namespace pelto {

std::string to_cp949(TextView text);
Text from_cp949(std::string_view bytes);

} // namespace pelto
