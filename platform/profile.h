// Profile (INI) files with the semantics of WritePrivateProfileStringA.
#pragma once

#include "core/text.h"

#include <span>

namespace pelto::platform {

// One key=value of a profile section.
struct ProfileEntry {
    Text key;
    Text value;
};

class ProfileFiles {
public:
    virtual ~ProfileFiles() = default;
    // Writes each key=value of `entries`, in their order, into [section] of the file, text
    // in code page 949, as WritePrivateProfileStringA writes one: an existing key (matched
    // case-insensitively) is replaced in place, a missing key is appended at the end of
    // its section, a missing section at the end of the file, a missing file is created;
    // nothing is written when the folder is missing. All of them land in one replacement
    // of the file: a reader, or a failure half-way, finds the old file or the new one with
    // every key, never a part. Returns the platform's success flag: true when every key
    // is in the file as asked, false when none was written (the run log says why).
    virtual bool write_private_profile_strings(TextView section,
                                               std::span<const ProfileEntry> entries,
                                               TextView file) = 0;

    // One key, as WritePrivateProfileStringA writes it.
    bool write_private_profile_string(TextView section, TextView key, TextView value,
                                      TextView file) {
        const ProfileEntry entry{Text(key), Text(value)};
        return write_private_profile_strings(section, std::span<const ProfileEntry>(&entry, 1),
                                             file);
    }
};

} // namespace pelto::platform
