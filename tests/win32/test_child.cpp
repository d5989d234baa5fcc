// A program for the process tests. Its file name says what it does: "exit-N.exe" leaves a
// file "exit-N.exe.ran" beside itself, waits a moment and ends with exit code N.
#include <string>
#include <windows.h>

int main() {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring path(module, length);
    const size_t mark = path.rfind(L"exit-");
    const unsigned long code =
        mark == std::wstring::npos ? 0 : std::wcstoul(path.c_str() + mark + 5, nullptr, 10);
    // Long enough that a wait which does not really wait would be caught.
    Sleep(300);
    const HANDLE ran = CreateFileW((path + L".ran").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ran != INVALID_HANDLE_VALUE) {
        CloseHandle(ran);
    }
    return static_cast<int>(code);
}
