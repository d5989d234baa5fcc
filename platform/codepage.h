// (Declared in core/text.h: to_cp949 / from_cp949.) Each platform implements them:
// platform/portable/codepage_iconv.cpp with iconv's CP949, platform/win32/codepage.cpp
// with WideCharToMultiByte(949). This header only documents where they live.
#pragma once
#include "core/text.h"
