// Profile (INI) files with the semantics of WritePrivateProfileStringA, written through the
// open folder that holds them.
#pragma once

#include "core/text.h"
#include "platform/filesystem.h"

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
    // Writes each key=value of `entries`, in their order, into [section] of the file `name`
    // of the open `folder`, text in code page 949, as WritePrivateProfileStringA writes one:
    // an existing key (matched case-insensitively) is replaced in place, a missing key is
    // appended at the end of its section, a missing section at the end of the file, a
    // missing file is created. All of them land in one replacement of the file
    // (Folder::replace_file): a reader, or a failure half-way, finds the old file or the
    // new one with every key, never a part. Returns the platform's success flag: true when
    // every key is in the file as asked, false when none was written (the run log says
    // why: a folder, a link or a file with a second name at that name, a read-only or UTF-16
    // file, a line break or NUL that would change other entries, a replacement refused).
    virtual bool write_private_profile_strings(Folder& folder, TextView name, TextView section,
                                               std::span<const ProfileEntry> entries) = 0;
    // One key, as WritePrivateProfileStringA writes it.
    bool write_private_profile_string(Folder& folder, TextView name, TextView section, TextView key,
                                      TextView value) {
        const ProfileEntry entry{Text(key), Text(value)};
        return write_private_profile_strings(folder, name, section,
                                             std::span<const ProfileEntry>(&entry, 1));
    }
};

} // namespace pelto::platform
