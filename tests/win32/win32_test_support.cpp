#include "tests/win32/win32_test_support.h"

#include "platform/win32/security/security_descriptor.h"

#include <algorithm>
#include <atomic>
#include <sddl.h>

namespace pelto::win32_test {

namespace {

std::atomic<unsigned> g_folder_counter{0};

std::wstring temp_root() {
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length);
    if (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

} // namespace

TempFolder::TempFolder() {
    const std::wstring root = temp_root();
    for (;;) {
        path_ = root + L"\\pelto-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++g_folder_counter);
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path_.clear();
            return;
        }
    }
}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        remove_tree(path_);
    }
}

std::wstring TempFolder::operator/(std::wstring_view relative) const {
    return path_ + L"\\" + std::wstring(relative);
}

void remove_tree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        for (const std::wstring& name : names_in(path)) {
            remove_tree(path + L"\\" + name);
        }
    }
    RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> names_in(const std::wstring& path) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
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
    return names;
}

void write_bytes(const std::wstring& path, std::string_view bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::optional<std::string> read_bytes(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    CloseHandle(file);
    return out;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Text text_of(std::wstring_view wide) {
    return Text(wide.begin(), wide.end());
}

std::string rights_text(const std::wstring& path) {
    const platform::win32::FileHandle handle(CreateFileW(
        path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = ERROR_SUCCESS;
    const platform::win32::LocalMemory descriptor =
        handle ? platform::win32::read_owner_and_rights(handle.get(), error)
               : platform::win32::LocalMemory();
    LPWSTR text = nullptr;
    if (!descriptor ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.get(), SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "unreadable";
    }
    std::string out = to_utf8(text_of(text));
    LocalFree(text);
    return out;
}

std::wstring test_mutex_name() {
    static LONG made = 0;
    return L"Global\\PeltoUserInstall_H.test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&made));
}

bool desktop_available() {
    const HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) {
        return false;
    }
    DestroyWindow(probe);
    return true;
}

} // namespace pelto::win32_test
