#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

std::string win32_error_text(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message;
    if (length > 0 && buffer != nullptr) {
        message.assign(buffer, length);
    }
    LocalFree(buffer);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return to_utf8(from_wide(message));
}

std::string describe_win32_error(unsigned long code) {
    std::string message = win32_error_text(code);
    while (!message.empty() && (message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    std::string out = std::to_string(code);
    if (!message.empty()) {
        out += ": " + message;
    }
    return out;
}

} // namespace pelto::platform::win32
