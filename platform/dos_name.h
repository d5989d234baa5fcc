// Names as DOS and VB's Dir match them against a pattern, the same on every platform.
#pragma once

#include "core/text.h"

namespace pelto::platform {

// DOS wildcard matching of one name, without regard to case: "*" and "?", "*.*" for
// every name, "name.*" also matching "name", and a pattern ending in "." matching only
// names without an extension.
bool dos_name_matches(TextView pattern, TextView name);

// Whether a name holds a DOS wildcard.
inline bool has_wildcards(TextView name) {
    return name.find_first_of(u"*?") != TextView::npos;
}

} // namespace pelto::platform
