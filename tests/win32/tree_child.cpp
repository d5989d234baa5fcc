// A program that starts a second one and ends at once, as a bootstrapper does: it starts
// itself with the argument "grandchild", which stays 2.5 seconds, and ends with code 5.
#include <cstring>
#include <string>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "grandchild") == 0) {
        Sleep(2500);
        return 0;
    }
    wchar_t module[MAX_PATH];
    const std::wstring self(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
    std::wstring command_line = L"\"" + self + L"\" grandchild";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(self.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &created)) {
        return 1;
    }
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    return 5;
}
