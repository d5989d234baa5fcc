// The run log on Windows: %TEMP%\PeltoUserInstall_H.log, UTF-8, one time-stamped line per
// event, appended, CRLF line ends. Its folder is reached from the volume's root one name
// at a time, each opened relative to the one before and never through a link; a missing
// folder is made with the staging folder's rights (an elevated run's log may lie below a
// folder any user can write). A link in the file's place or a file with a second name is
// refused (run_log_refusal). A log that cannot be written never stops the run, unless the
// run asked for it by name (open()).
#pragma once

#include "platform/run_log.h"
#include "platform/win32/handles.h"

#include <string>

namespace pelto::platform::win32 {

class Win32RunLog final : public FileRunLogBase {
public:
    // The log in the user's temporary folder.
    Win32RunLog();
    // `path` is absolute; a long one is used in its "\\?\" form.
    explicit Win32RunLog(const std::wstring& path);

    const std::wstring& path() const { return path_; }

    // PeltoUserInstall_H.log in the folder TMP, TEMP or USERPROFILE names (the first that
    // is set, as GetTempPathW looks), always an absolute path and never one relative to
    // the current folder, however long: empty when none of them names an absolute path.
    static std::wstring default_path();

private:
    std::string_view line_end() const override { return "\r\n"; }
    std::optional<std::string> open_file() override;
    bool append(std::string_view record) override;

    std::wstring path_;
    FileHandle file_;
};

// The form of an absolute path that Windows takes at any length: "\\?\C:\..." or
// "\\?\UNC\server\share\..." once it reaches MAX_PATH, the path itself below that.
std::wstring any_length_path(const std::wstring& absolute);

} // namespace pelto::platform::win32
