// Profile files through kernel32's WritePrivateProfileStringA, text in code page 949.
#pragma once

#include "platform/profile.h"

namespace pelto::platform::win32 {

class Win32ProfileFiles final : public ProfileFiles {
public:
    bool write_private_profile_string(TextView section, TextView key, TextView value,
                                      TextView file) override;
};

} // namespace pelto::platform::win32
