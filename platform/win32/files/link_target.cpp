#include "platform/win32/files/link_target.h"

#include "platform/windows_path.h"

#include <cstring>
#include <vector>
#include <winioctl.h>

namespace pelto::platform::win32 {

namespace {

// The reparse tags of symbolic links and of junctions (mount points).
constexpr ULONG kSymbolicLinkTag = 0xA000000CUL;
constexpr ULONG kMountPointTag = 0xA0000003UL;
// A symbolic link whose target is relative to the folder that holds it.
constexpr ULONG kRelativeLink = 0x1;
// The reparse data: a header, then (for these two tags) the names' offsets and lengths in
// bytes from the start of the name buffer, which follows them (after the flags of a
// symbolic link).
constexpr size_t kHeaderSize = 8;
constexpr size_t kMostReparseData = size_t{16} * 1024;

struct Names {
    USHORT substitute_offset;
    USHORT substitute_length;
    USHORT print_offset;
    USHORT print_length;
};

// "\??\C:\x" -> "C:\x", "\??\UNC\h\s\x" -> "\\h\s\x"; nullopt for any other NT path.
std::optional<Text> dos_path(const Text& nt) {
    const Text prefix = u"\\??\\";
    if (nt.rfind(prefix, 0) != 0) {
        return std::nullopt;
    }
    const Text rest = nt.substr(prefix.size());
    if (rest.size() >= 4 && equals_ignore_case(rest.substr(0, 4), u"UNC\\")) {
        return u"\\\\" + rest.substr(4);
    }
    if (rest.size() >= 2 && rest[1] == u':') {
        return rest;
    }
    return std::nullopt; // a volume without a drive letter, or a device
}

} // namespace

std::optional<Text> link_target_of(HANDLE entry, TextView folder, unsigned long& error) {
    error = ERROR_SUCCESS;
    std::vector<unsigned char> buffer(kMostReparseData);
    DWORD got = 0;
    if (!DeviceIoControl(entry, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        error = GetLastError();
        return std::nullopt;
    }
    ULONG tag = 0;
    std::memcpy(&tag, buffer.data(), sizeof tag);
    if (tag != kSymbolicLinkTag && tag != kMountPointTag) {
        return std::nullopt;
    }
    Names names{};
    ULONG flags = 0;
    if (got < kHeaderSize + sizeof names + (tag == kSymbolicLinkTag ? sizeof flags : 0)) {
        return std::nullopt;
    }
    std::memcpy(&names, buffer.data() + kHeaderSize, sizeof names);
    size_t path_buffer = kHeaderSize + sizeof names;
    if (tag == kSymbolicLinkTag) {
        std::memcpy(&flags, buffer.data() + path_buffer, sizeof flags);
        path_buffer += sizeof flags;
    }
    const size_t start = path_buffer + names.substitute_offset;
    if (start + names.substitute_length > got || names.substitute_length % 2 != 0) {
        return std::nullopt;
    }
    Text substitute(names.substitute_length / 2, u'\0');
    std::memcpy(substitute.data(), buffer.data() + start, names.substitute_length);
    std::optional<Text> target;
    if (tag == kSymbolicLinkTag && (flags & kRelativeLink) != 0) {
        target = Text(folder) + u"\\" + substitute;
    } else {
        target = dos_path(substitute);
    }
    const std::optional<WindowsPath> parsed = target ? parse_windows_path(*target) : std::nullopt;
    if (!parsed) {
        return std::nullopt;
    }
    return parsed->text();
}

} // namespace pelto::platform::win32
