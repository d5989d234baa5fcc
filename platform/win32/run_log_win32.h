// The run log on Windows: %TEMP%\PeltoUserInstall_H.log, UTF-8, one time-stamped line per
// event, appended, CRLF line ends. A log that cannot be written never stops the run.
#pragma once

#include "platform/run_log.h"
#include "platform/win32/handles.h"

#include <string>

namespace pelto::platform::win32 {

class Win32RunLog final : public FileRunLogBase {
public:
    // The log in the user's temporary folder.
    Win32RunLog();
    explicit Win32RunLog(std::wstring path);

    const std::wstring& path() const { return path_; }

    static std::wstring default_path();

private:
    LocalTime local_time() const override;
    std::string_view line_end() const override { return "\r\n"; }
    bool append(std::string_view record) override;

    std::wstring path_;
    FileHandle file_;
    bool open_failed_ = false;
};

} // namespace pelto::platform::win32
