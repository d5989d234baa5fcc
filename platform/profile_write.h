// The one writer of profile files, the same on every platform: the file's bytes are read
// through its open folder, edited by WritePrivateProfileStringA's rules in code page 949
// (profile_rules.h), so that they never depend on the machine's own code page, and put in
// place by the folder's one safe replacement, which keeps the file's rights.
#pragma once

#include "platform/profile.h"
#include "platform/run_log.h"

namespace pelto::platform {

class FolderProfiles final : public ProfileFiles {
public:
    explicit FolderProfiles(RunLog& log) : log_(log) {}
    bool write_private_profile_strings(Folder& folder, TextView name, TextView section,
                                       std::span<const ProfileEntry> entries) override;

private:
    RunLog& log_;
};

} // namespace pelto::platform
