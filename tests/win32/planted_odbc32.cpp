// A stand-in odbc32.dll, planted beside the program by tests/win32/security_checks.sh:
// when loaded it leaves "odbc32.dll.loaded" beside itself. It exports every function of
// the real one (all as one stub that fails), so a program importing it the ordinary way
// would load it and start.
#include <string>
#include <windows.h>

extern "C" __declspec(dllexport) short planted_stub() {
    return -1; // SQL_ERROR
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH];
        const std::wstring mark =
            std::wstring(path, GetModuleFileNameW(self, path, MAX_PATH)) + L".loaded";
        const HANDLE file =
            CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    return TRUE;
}
