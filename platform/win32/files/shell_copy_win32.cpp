// Why SHFileOperationW: SHFileOperationA decodes its paths with the machine's own ANSI code
// page. Code page 949 bytes of "C:\펠토사용자설치" read as code page 1252 (or 65001) name
// another path: the copy makes a file with a garbled name and the staging folder stays
// empty. A character that the code page lacks would also become '?', a wildcard to the
// shell. UTF-16 paths mean the same on every machine.
#include "platform/win32/files/shell_copy_win32.h"

#include "platform/win32/wide.h"

// shellapi.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace pelto::platform::win32 {

namespace {

// SHFileOperation takes lists of paths: each path ends with a NUL and the list with a
// second one.
std::wstring path_list(TextView path) {
    std::wstring list = wide(path);
    list.push_back(L'\0');
    list.push_back(L'\0');
    return list;
}

} // namespace

int Win32ShellCopy::copy_file(const OwnerWindow& owner, TextView source_file, Folder& destination) {
    const std::wstring from =
        path_list(drives_ != nullptr ? drives_->resolve(source_file) : Text(source_file));
    const std::wstring to = path_list(destination.path());
    SHFILEOPSTRUCTW operation{};
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
    return SHFileOperationW(&operation);
}

} // namespace pelto::platform::win32
