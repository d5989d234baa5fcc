#include "platform/win32/shell_copy_win32.h"

// shellapi.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace pelto::platform::win32 {

namespace {

// SHFileOperation takes lists of paths: each path ends with a NUL and the list with a
// second one.
std::string path_list(TextView path) {
    std::string list = to_cp949(path);
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

} // namespace

int Win32ShellCopy::copy_file(const OwnerWindow& owner, TextView source_file,
                              TextView destination_folder) {
    const std::string from =
        path_list(drives_ != nullptr ? drives_->resolve(source_file) : Text(source_file));
    const std::string to = path_list(drives_ != nullptr ? drives_->resolve(destination_folder)
                                                        : Text(destination_folder));
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = static_cast<HWND>(owner.native_handle());
    operation.wFunc = FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    // No flags: the shell shows its progress, asks before replacing a file and reports
    // its own errors, all owned by the window above. Unattended, none of that: replace
    // without asking, no progress, no error dialog, no question about folders.
    operation.fFlags = unattended() ? static_cast<FILEOP_FLAGS>(FOF_NOCONFIRMATION | FOF_SILENT |
                                                                FOF_NOERRORUI | FOF_NOCONFIRMMKDIR)
                                    : 0;
    return SHFileOperationA(&operation);
}

} // namespace pelto::platform::win32
