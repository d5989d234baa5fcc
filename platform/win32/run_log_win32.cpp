#include "platform/win32/run_log_win32.h"

#include <windows.h>

namespace pelto::platform::win32 {

Win32RunLog::Win32RunLog() : Win32RunLog(default_path()) {}

Win32RunLog::Win32RunLog(std::wstring path) : path_(std::move(path)) {}

std::wstring Win32RunLog::default_path() {
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (length == 0 || length > folder.size()) {
        folder.clear();
    } else {
        folder.resize(length);
    }
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder + L"PeltoUserInstall_H.log";
}

LocalTime Win32RunLog::local_time() const {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                     now.wMinute, now.wSecond, now.wMilliseconds};
}

bool Win32RunLog::append(std::string_view record) {
    if (!file_ && !open_failed_) {
        // Appending only; others may read the log while the run goes on.
        file_.reset(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        open_failed_ = !file_;
    }
    if (!file_) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file_.get(), record.data(), static_cast<DWORD>(record.size()), &written,
                     nullptr) != FALSE &&
           written == record.size();
}

} // namespace pelto::platform::win32
