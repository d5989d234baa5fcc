// Profile files on the real file system, edited byte for byte in code page 949 by the rules
// that WritePrivateProfileStringA follows (platform/profile_rules.h).
#pragma once

#include "platform/profile.h"
#include "platform/run_log.h"

namespace pelto::platform::win32 {

class Win32ProfileFiles final : public ProfileFiles {
public:
    explicit Win32ProfileFiles(RunLog& log) : log_(log) {}

    // False, with a line in the run log, when nothing was written: the folder is missing,
    // the file is a folder, read-only, in UTF-16 or cannot be replaced, or a line break in
    // the section, a key or a value would change other entries of the file. A file name that
    // is not a full path is in the Windows folder, as with the system's profile functions.
    bool write_private_profile_strings(TextView section, std::span<const ProfileEntry> entries,
                                       TextView file) override;

private:
    RunLog& log_;
};

} // namespace pelto::platform::win32
