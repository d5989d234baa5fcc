// Profile (INI) files with the semantics of WritePrivateProfileStringA.
#pragma once

#include "core/text.h"

namespace pelto::platform {

class ProfileFiles {
public:
    virtual ~ProfileFiles() = default;
    // Writes key=value into [section] of the file, text in code page 949: an existing key
    // (matched case-insensitively) is replaced in place, a missing key is appended at the
    // end of its section, a missing section at the end of the file, a missing file is
    // created; nothing is written when the folder is missing. Returns the platform's
    // success flag (the caller of the program ignores it; the run log records it).
    virtual bool write_private_profile_string(TextView section, TextView key, TextView value,
                                              TextView file) = 0;
};

} // namespace pelto::platform
