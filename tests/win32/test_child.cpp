// A program for the process tests; it gets no arguments, so it learns what to do from a
// file beside it. "<self>.how" holds the exit code, optionally followed by "leave": then
// it first starts a copy of itself that stays 2.5 seconds, as a bootstrapper leaves the
// real installer running, handing on its inheritable handles as a command interpreter
// does. Without that file, a name "exit-N.exe" gives the exit code.
// Either way it leaves "cwd.ran" in its current folder and "<self>.ran" beside itself
// after a moment.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "grandchild") == 0) {
        Sleep(2500);
        return 0;
    }
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring path(module, length);

    unsigned long code = 0;
    std::string leave;
    std::ifstream how(std::filesystem::path(path + L".how"));
    if (how) {
        how >> code >> leave;
    } else {
        const size_t mark = path.rfind(L"exit-");
        code = mark == std::wstring::npos ? 0 : std::wcstoul(path.c_str() + mark + 5, nullptr, 10);
    }
    if (leave == "leave") {
        std::wstring command_line = L"\"" + path + L"\" grandchild";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created{};
        if (CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &created)) {
            CloseHandle(created.hThread);
            CloseHandle(created.hProcess);
        }
    }
    // Long enough that a wait which does not really wait would be caught.
    Sleep(300);
    const HANDLE here = CreateFileW(L"cwd.ran", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (here != INVALID_HANDLE_VALUE) {
        CloseHandle(here);
    }
    const HANDLE ran = CreateFileW((path + L".ran").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ran != INVALID_HANDLE_VALUE) {
        CloseHandle(ran);
    }
    return static_cast<int>(code);
}
