#include "platform/win32/files/mapped_drive.h"

#include "platform/win32/wide.h"

#include <optional>
#include <string>

namespace pelto::platform::win32 {

namespace {

std::optional<std::wstring> saved_mapping(HKEY user_key, wchar_t letter) {
    const std::wstring key = std::wstring(L"Network\\") + letter;
    DWORD size = 0;
    if (RegGetValueW(user_key, key.c_str(), L"RemotePath", RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size < sizeof(wchar_t)) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(user_key, key.c_str(), L"RemotePath", RRF_RT_REG_SZ, nullptr, value.data(),
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    while (!value.empty() && value.back() == L'\\') {
        value.pop_back();
    }
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

Text MappedDrives::resolve(TextView path) {
    if (path.size() < 2 || path[1] != u':') {
        return Text(path);
    }
    const char16_t first = path[0];
    const char16_t letter = (first >= u'a' && first <= u'z') ? first - u'a' + u'A' : first;
    if (letter < u'A' || letter > u'Z') {
        return Text(path);
    }
    const int index = letter - u'A';
    if ((GetLogicalDrives() & (1UL << index)) != 0) {
        return Text(path);
    }
    const std::string drive = std::string(1, static_cast<char>(letter)) + ":";
    const std::optional<std::wstring> remote =
        saved_mapping(user_key_, static_cast<wchar_t>(letter));
    const bool first_time = !reported_[index];
    reported_[index] = true;
    if (!remote) {
        if (first_time) {
            log_.write("drive " + drive +
                       " does not exist for this program and has no saved mapping; " +
                       to_utf8(path) + " is used as it is");
        }
        return Text(path);
    }
    // "Z:Pelto" and "Z:\Pelto" both lie in the share's root here: a drive mapped to
    // a share has no other current folder.
    TextView rest = path.substr(2);
    Text resolved = from_wide(*remote);
    if (rest.empty() || (rest.front() != u'\\' && rest.front() != u'/')) {
        resolved += u'\\';
    }
    resolved += rest;
    if (first_time) {
        log_.write("drive " + drive +
                   " does not exist for this program (an elevated program does not see the "
                   "user's mapped drives); using its saved mapping " +
                   to_utf8(from_wide(*remote)) + ": " + to_utf8(path) + " -> " + to_utf8(resolved));
    }
    return resolved;
}

} // namespace pelto::platform::win32
