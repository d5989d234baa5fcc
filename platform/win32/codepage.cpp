// Code page 949 through the Win32 converters, named explicitly so that the "A" functions
// get the bytes a Korean-locale Windows would give them, whatever this machine's locale.
#include "platform/codepage.h"

#include "core/text.h"

#include <limits>
#include <windows.h>

namespace pelto {

namespace {

constexpr UINT kCodePage949 = 949;

} // namespace

std::string to_cp949(TextView text) {
    if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const auto* source = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // No best-fit mapping: a character without a CP949 form becomes '?' rather than a
    // look-alike, so a full-width backslash or quote can never turn into a real one.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int size =
        WideCharToMultiByte(kCodePage949, flags, source, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(kCodePage949, flags, source, length, out.data(), size, nullptr, nullptr);
    return out;
}

Text from_cp949(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(kCodePage949, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(kCodePage949, 0, bytes.data(), length, out.data(), size);
    return Text(out.begin(), out.end());
}

} // namespace pelto
