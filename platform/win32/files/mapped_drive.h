// Drive letters mapped in the user's session are not seen by the elevated program (each
// logon token has its own drive letters), so an update path like "Z:\Pelto" names
// nothing for it. Where the letter does not exist for the program, the user's saved
// mapping (HKCU\Network\<letter>\RemotePath, written for a drive mapped to reconnect at
// sign-in) gives the network path it stands for.
#pragma once

#include "core/text.h"
#include "platform/run_log.h"

#include <array>
#include <windows.h>

namespace pelto::platform::win32 {

class MappedDrives {
public:
    // `user_key` holds the saved mappings below "Network"; HKEY_CURRENT_USER for the
    // program, the hive of the account it runs as (the user's own when they elevated
    // themselves).
    explicit MappedDrives(RunLog& log, HKEY user_key = HKEY_CURRENT_USER)
        : log_(log), user_key_(user_key) {}

    // `path` with a drive letter the program lacks replaced by that drive's saved network
    // path ("Z:\Pelto" -> "\\server\share\Pelto"); any other path unchanged. What was
    // found is written to the run log once per letter.
    Text resolve(TextView path);

private:
    RunLog& log_;
    HKEY user_key_;
    std::array<bool, 26> reported_{};
};

} // namespace pelto::platform::win32
