#include "platform/win32/files/filesystem_win32.h"

#include "platform/win32/files/folder_entries.h"
#include "platform/win32/files/folder_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"
#include "platform/windows_path.h"

#include <windows.h>

namespace pelto::platform::win32 {

std::unique_ptr<Folder> Win32FileSystem::open_volume(TextView volume) {
    const std::optional<WindowsPath> parsed = parse_windows_path(volume);
    if (!parsed || !parsed->names.empty()) {
        return nullptr;
    }
    // "C:\" or "\\host\share\"; a drive letter the program lacks is its saved mapping.
    Text root = parsed->prefix(0);
    if (drives_ != nullptr && !parsed->is_unc()) {
        root = drives_->resolve(root);
    }
    if (!ends_with(root, u"\\")) {
        root += u'\\';
    }
    unsigned long error = ERROR_SUCCESS;
    FileHandle handle = open_volume_root(wide(root), open_folder_access(true), error);
    if (!handle && error == ERROR_ACCESS_DENIED) {
        handle = open_volume_root(wide(root), open_folder_access(false), error);
    }
    if (!handle) {
        if (!is_not_found(error) && error != ERROR_INVALID_DRIVE && error != ERROR_BAD_NETPATH &&
            error != ERROR_BAD_NET_NAME) {
            log_os_failure(log_, win32_failure(error, "CreateFileW", root));
        }
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        log_last_error(log_, "GetFileInformationByHandle", root);
        return nullptr;
    }
    // A mapping to a folder that is a link, or to a file, is no volume to work in.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return nullptr;
    }
    // Named as Windows names a volume's root ("C:\"), or as the mapping's path.
    const Text path = root.size() > 3 ? root.substr(0, root.size() - 1) : root;
    return std::make_unique<Win32Folder>(std::move(handle), path, log_, replace_);
}

Text Win32FileSystem::program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos) {
        return from_wide(path);
    }
    // "C:\setup.exe" lies in "C:\", which keeps its backslash.
    const bool drive_root = cut == 2 && path[1] == L':';
    return from_wide(path.substr(0, drive_root ? cut + 1 : cut));
}

} // namespace pelto::platform::win32
