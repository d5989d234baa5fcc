// Stands in for the suite's installer and updater in the end-to-end run; it is copied into
// the update folder as "installpelto_H.exe" and "PeltoUpdate_H.exe". As the installer it
// creates C:\Pelto_H\bin and C:\Pelto_H\Resource as the real one would; as either it notes
// in C:\Pelto_H\e2e.log that it ran, and what it found, so the test can check the order,
// and in C:\Pelto_H\e2e-folders.log the current folder it was started in. As the installer
// it also notes in C:\Pelto_H\e2e-staging.log the names its own folder holds when it
// starts. The updater ends with the exit code the test asks for.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace {

bool exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void note(const std::string& line) {
    const HANDLE log = CreateFileW(L"C:\\Pelto_H\\e2e.log", FILE_APPEND_DATA, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
}

std::string utf8_of(const std::wstring& text) {
    std::string utf8(text.size() * 3 + 1, '\0');
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                            static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    return utf8;
}

// The current folder it was started in, as UTF-8.
std::string current_folder() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    return utf8_of(std::wstring(folder, length));
}

// Notes in C:\Pelto_H\e2e-staging.log the names its own folder holds, in code point order.
void note_own_folder(const std::wstring& program) {
    const std::wstring folder = program.substr(0, program.rfind(L'\\') + 1);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(name);
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    std::string line = "installer saw:";
    for (const std::wstring& name : names) {
        line += " " + utf8_of(name);
    }
    line += "\n";
    const HANDLE log =
        CreateFileW(L"C:\\Pelto_H\\e2e-staging.log", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
}

// Notes in C:\Pelto_H\e2e-folders.log where it was started.
void note_folder(const char* program) {
    const HANDLE log =
        CreateFileW(L"C:\\Pelto_H\\e2e-folders.log", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = std::string(program) + " in " + current_folder() + "\n";
    DWORD written = 0;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
}

// The number in the file `path`; nullopt without one.
std::optional<double> seconds_asked(const wchar_t* path) {
    char text[16] = {};
    DWORD got = 0;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    return std::atof(text);
}

} // namespace

int main() {
    wchar_t module[MAX_PATH];
    const std::wstring path(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
    const bool installer = path.find(L"installpelto_H") != std::wstring::npos;
    CreateDirectoryW(L"C:\\Pelto_H", nullptr);
    note_folder(installer ? "installer" : "updater");
    if (installer) {
        note_own_folder(path);
        note("installer started");
        CreateDirectoryW(L"C:\\Pelto_H\\bin", nullptr);
        CreateDirectoryW(L"C:\\Pelto_H\\Resource", nullptr);
        // Long enough that an updater started without waiting would be seen in the log;
        // as long as C:\e2e-installer.seconds asks, when it is there.
        Sleep(static_cast<DWORD>(seconds_asked(L"C:\\e2e-installer.seconds").value_or(1.5) * 1000));
        note("installer ended");
        return 0;
    }
    note(std::string("updater started; template copied yet: ") +
         (exists(L"C:\\Pelto_H\\bin\\Pelto.ini") ? "yes" : "no"));
    // The exit code the test asks for in C:\Pelto_H\updater.exit, else success.
    char code[16] = {};
    DWORD got = 0;
    const HANDLE asked = CreateFileW(L"C:\\Pelto_H\\updater.exit", GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (asked != INVALID_HANDLE_VALUE) {
        ReadFile(asked, code, sizeof code - 1, &got, nullptr);
        CloseHandle(asked);
    }
    return std::atoi(code);
}
