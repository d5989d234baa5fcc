// VB's Dir and Kill name entries with DOS patterns: '*' and '?', without regard to case,
// "name.*" also names "name", "*." names what has no extension. The open folders of this
// platform list by handle, which matches nothing, so they match names by these rules, the
// same on both platforms.
#pragma once

#include "core/text.h"

namespace pelto::platform::win32 {

bool has_wildcards(TextView pattern);
bool dos_pattern_matches(TextView pattern, TextView name);

} // namespace pelto::platform::win32
