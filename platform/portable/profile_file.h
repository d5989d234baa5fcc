// Profile (INI) files of the mapped machine, edited by the rules of platform/profile_rules.h
// (WritePrivateProfileStringA's, text in code page 949). The file is replaced atomically
// and keeps its permission bits and DOS attributes.
#pragma once

#include "platform/portable/machine_root.h"
#include "platform/profile.h"
#include "platform/run_log.h"

#include <string>
#include <string_view>

namespace pelto::platform::portable {

class PortableProfiles final : public ProfileFiles {
public:
    PortableProfiles(const MachineRoot& machine, RunLog& log);

    // False, with a line in the run log, when nothing was written: the folder is
    // missing, the file is read-only, in UTF-16 or cannot be replaced, or a line break
    // in the section, a key or a value would change other entries of the file. A file name
    // without a drive or share is in C:\Windows, as on Windows.
    bool write_private_profile_strings(TextView section, std::span<const ProfileEntry> entries,
                                       TextView file) override;

private:
    const MachineRoot& machine_;
    RunLog& log_;
};

} // namespace pelto::platform::portable
