#include "platform/win32/security/dll_search.h"

#include "core/exit_status.h"
#include "platform/win32/wide.h"

// delayimp.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <delayimp.h>
// clang-format on

#include <string>

namespace pelto::platform::win32 {

namespace {

RunLog* g_failure_log = nullptr;

// Whether /SILENT is among the arguments: nobody is there to close a message box. A
// plain scan of the command line, so that nothing is loaded for it.
bool silent_on_command_line() {
    const wchar_t* at = GetCommandLineW();
    while (at != nullptr && *at != L'\0') {
        while (*at == L' ' || *at == L'\t') {
            ++at;
        }
        wchar_t argument[16];
        size_t length = 0;
        bool quoted = false;
        bool too_long = false;
        for (; *at != L'\0' && (quoted || (*at != L' ' && *at != L'\t')); ++at) {
            if (*at == L'"') {
                quoted = !quoted;
            } else if (length + 1 < sizeof argument / sizeof argument[0]) {
                const wchar_t c = *at;
                argument[length++] = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
            } else {
                too_long = true;
            }
        }
        argument[length] = L'\0';
        if (!too_long && lstrcmpW(argument, L"/SILENT") == 0) {
            return true;
        }
    }
    return false;
}

void write_standard_output(const char* text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
    }
}

// Loads a library of the program's delay-import table (odbc32.dll) from System32 only, so
// neither the program's folder nor the current folder is ever searched for it, nor for
// what it loads in turn.
FARPROC WINAPI load_delayed_library(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) {
        return nullptr;
    }
    std::wstring name;
    for (const char* c = info->szDll; *c != '\0'; ++c) {
        name += static_cast<wchar_t>(static_cast<unsigned char>(*c)); // names are ASCII
    }
    HMODULE library = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        // A Windows without the flag (only a test program gets here: the program itself
        // has stopped on such a system): the full System32 path.
        wchar_t folder[MAX_PATH];
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return nullptr;
        }
        const std::wstring path = std::wstring(folder, length) + L'\\' + name;
        library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return reinterpret_cast<FARPROC>(library);
}

// A library or function of the delay-import table that is not there: the generic error
// message of an error that reached the run, its log line and status, instead of the
// helper's unhandled exception. Never returns.
FARPROC WINAPI fail_delayed_library(unsigned notification, PDelayLoadInfo info) {
    const std::string library = info != nullptr && info->szDll != nullptr ? info->szDll : "?";
    int number = 48;
    std::string description = "Error in loading DLL: " + library;
    if (notification == dliFailGetProc) {
        number = 453;
        const std::string function =
            info != nullptr && info->dlp.fImportByName && info->dlp.szProcName != nullptr
                ? info->dlp.szProcName
                : "?";
        description = "Can't find DLL entry point " + function + " in " + library;
    }
    const unsigned long code = info != nullptr ? info->dwLastError : 0;
    if (g_failure_log != nullptr) {
        g_failure_log->write("run ended (exit status " +
                             std::to_string(exit_status::kUnhandledError) + "): unhandled error " +
                             std::to_string(number) + " (PeltoUserInstall_H): " + description +
                             " (System32: " + describe_win32_error(code) + ")");
    }
    if (!silent_on_command_line()) {
        const std::wstring text =
            wide(from_utf8("Run-time error '" + std::to_string(number) + "':\n\n" + description));
        MessageBoxW(nullptr, text.c_str(), L"PeltoUserInstall", MB_OK | MB_ICONERROR);
    }
    ExitProcess(exit_status::kUnhandledError);
}

} // namespace

bool limit_library_search_to_system32() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    // Present from Windows 8, and on Windows 7 with KB2533623.
    const auto set_default_dll_directories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set_default_dll_directories != nullptr &&
        set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return true;
    }
    SetDllDirectoryW(L"");
    return false;
}

void stop_for_want_of_library_search() {
    write_standard_output(
        "PeltoUserInstall_H: this Windows cannot limit where the program loads libraries "
        "from (SetDefaultDllDirectories: install update KB2533623); the run did not start\r\n");
    if (!silent_on_command_line()) {
        MessageBoxW(nullptr,
                    L"이 Windows에는 보안 업데이트 KB2533623이 필요합니다. 업데이트를 설치한 뒤 "
                    L"다시 실행해주세요.",
                    L"PeltoUserInstall", MB_OK | MB_ICONERROR);
    }
    ExitProcess(exit_status::kPlatformUnavailable);
}

void report_failed_libraries_to(RunLog* log) {
    g_failure_log = log;
}

} // namespace pelto::platform::win32

// The delay-load helper's hooks (their names are fixed by the helper). Defined here, beside
// the functions the program calls, so that these definitions are the ones linked.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = pelto::platform::win32::load_delayed_library;
PfnDliHook __pfnDliFailureHook2 = pelto::platform::win32::fail_delayed_library;
}
