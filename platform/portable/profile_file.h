// Profile (INI) files of the mapped machine, written as WritePrivateProfileStringA does:
// the section and the key are found without regard to case or surrounding blanks; an
// existing key line is replaced in place; a missing key goes after the last non-blank
// line of its section; a missing section goes at the end of the file after a blank
// line; a missing file is created. Text is code page 949. Every other byte of the file
// stays as it was, line ends and a missing final line end included; added lines take
// the line end of their neighbour (a new file takes "\r\n"). The file is replaced
// atomically and keeps its permission bits and DOS attributes.
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
    // in the section, key or value would change other entries of the file. A file name
    // without a drive or share is in C:\Windows, as on Windows.
    bool write_private_profile_string(TextView section, TextView key, TextView value,
                                      TextView file) override;

private:
    const MachineRoot& machine_;
    RunLog& log_;
};

// The content of a profile file after key=value has been written into [section]; all
// four in code page 949 bytes. `file` is empty for a new file.
std::string write_profile_entry(std::string_view file, std::string_view section,
                                std::string_view key, std::string_view value);

} // namespace pelto::platform::portable
