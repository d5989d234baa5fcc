// Profile files on the real file system, edited byte for byte in code page 949 by the rules
// that WritePrivateProfileStringA follows (platform/profile_rules.h).
#pragma once

#include "platform/profile.h"
#include "platform/run_log.h"

#include <functional>
#include <string>
#include <windows.h>

namespace pelto::platform::win32 {

class Win32ProfileFiles final : public ProfileFiles {
public:
    // The call that replaces a file: ReplaceFileW; tests give one that fails as Windows can.
    using ReplaceFileCall = std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement,
                                               LPCWSTR backup, DWORD flags, LPVOID, LPVOID)>;

    explicit Win32ProfileFiles(RunLog& log, ReplaceFileCall replace_file = ReplaceFileW);

    // False, with a line in the run log, when nothing was written: the folder is missing,
    // the file is a folder, a link, a file with a second name, read-only, in UTF-16 or
    // cannot be replaced, or a line break in the section, a key or a value would change
    // other entries of the file. A file name that is not a full path is in the Windows
    // folder, as with the system's profile functions.
    bool write_private_profile_strings(TextView section, std::span<const ProfileEntry> entries,
                                       TextView file) override;

private:
    // How often ReplaceFileW is tried while it says the files are busy.
    static constexpr int kReplaceAttempts = 5;

    // Replaces the file at `path` (named `file` in the run log; `existed`: it was there
    // when read) with `bytes`. False, with the system's reason in `why`, when the new
    // content is not at the file's name.
    bool replace(const std::wstring& path, TextView file, std::string_view bytes, bool existed,
                 std::string& why);

    RunLog& log_;
    ReplaceFileCall replace_file_;
};

} // namespace pelto::platform::win32
