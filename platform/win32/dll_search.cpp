#include "platform/win32/dll_search.h"

// delayimp.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <delayimp.h>
// clang-format on

#include <string>

namespace pelto::platform::win32 {

namespace {

// Called by the delay-load helper before it loads a library named in the program's
// delay-import table (odbc32.dll): the library is loaded by its full System32 path, so
// neither the program's folder nor the current folder is ever searched for it, even on
// a Windows that lacks SetDefaultDllDirectories.
FARPROC WINAPI load_delayed_library(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) {
        return nullptr;
    }
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::wstring path(folder, length);
    path += L'\\';
    for (const char* c = info->szDll; *c != '\0'; ++c) {
        path += static_cast<wchar_t>(static_cast<unsigned char>(*c)); // names are ASCII
    }
    // The altered search makes the library's own dependencies come from System32 too.
    return reinterpret_cast<FARPROC>(
        LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace

void load_libraries_from_system32_only() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    // Present from Windows 8, and on Windows 7 with KB2533623.
    const auto set_default_dll_directories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set_default_dll_directories == nullptr ||
        !set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

} // namespace pelto::platform::win32

// The delay-load helper's notification hook (its name is fixed by the helper). Defined
// here, beside the function the program calls, so that this definition is the one linked.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = pelto::platform::win32::load_delayed_library;
}
