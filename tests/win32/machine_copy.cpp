#include "tests/win32/machine_copy.h"

#include "core/text.h"
#include "platform/win32/handles.h"
#include "tests/win32/win32_test_support.h"

#include <algorithm>

namespace pelto::win32_test {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

struct Found {
    std::wstring name;
    DWORD attributes = 0;
};

// The entries of `folder` that match `pattern`, "." and ".." left out.
std::vector<Found> entries_of(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<Found> out;
    WIN32_FIND_DATAW data{};
    const platform::win32::FindHandle find(
        FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
    if (!find) {
        return out;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            out.push_back({name, data.dwFileAttributes});
        }
    } while (FindNextFileW(find.get(), &data));
    return out;
}

std::string utf8_of(std::wstring_view wide) {
    return to_utf8(text_of(wide));
}

// HKLM\`key` in the 32-bit view, made when it is not there; null when it cannot be had.
platform::win32::RegistryKeyHandle open_key(const std::wstring& key, REGSAM access, bool make) {
    HKEY opened = nullptr;
    const LONG status =
        make ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                               access | KEY_WOW64_32KEY, nullptr, &opened, nullptr)
             : RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, access | KEY_WOW64_32KEY, &opened);
    return platform::win32::RegistryKeyHandle(status == ERROR_SUCCESS ? opened : nullptr);
}

struct RawValue {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

std::vector<RawValue> values_of(HKEY key) {
    std::vector<RawValue> out;
    DWORD count = 0;
    DWORD longest_name = 0;
    DWORD longest_data = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest_name, &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
        return out;
    }
    for (DWORD i = 0; i < count; ++i) {
        RawValue value;
        std::wstring name(longest_name + 1, L'\0');
        DWORD name_length = longest_name + 1;
        value.data.resize(longest_data + 1);
        DWORD size = longest_data + 1;
        if (RegEnumValueW(key, i, name.data(), &name_length, nullptr, &value.type,
                          value.data.data(), &size) == ERROR_SUCCESS) {
            value.name = name.substr(0, name_length);
            value.data.resize(size);
            out.push_back(std::move(value));
        }
    }
    return out;
}

std::string data_text(const RawValue& value) {
    if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && value.data.size() % 2 == 0) {
        std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()),
                          value.data.size() / 2);
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        return utf8_of(text);
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        std::copy(value.data.begin(), value.data.end(), reinterpret_cast<BYTE*>(&number));
        return std::to_string(number);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const BYTE b : value.data) {
        hex += kHex[b >> 4];
        hex += kHex[b & 0xF];
    }
    return hex;
}

} // namespace

TreeCopy::TreeCopy(std::wstring path) : path_(std::move(path)) {
    const DWORD attributes = GetFileAttributesW(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        entries_.push_back({L"", true, {}, attributes});
        save(L"");
    }
}

void TreeCopy::save(const std::wstring& relative) {
    const std::wstring folder = relative.empty() ? path_ : path_ + L"\\" + relative;
    for (const Found& found : entries_of(folder, L"*")) {
        const std::wstring below = relative.empty() ? found.name : relative + L"\\" + found.name;
        if ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            entries_.push_back({below, true, {}, found.attributes});
            save(below);
        } else {
            entries_.push_back(
                {below, false, read_bytes(path_ + L"\\" + below).value_or(""), found.attributes});
        }
    }
}

void TreeCopy::put_back() const {
    remove_tree(path_);
    for (const Entry& entry : entries_) {
        const std::wstring path = entry.relative.empty() ? path_ : path_ + L"\\" + entry.relative;
        if (entry.folder) {
            CreateDirectoryW(path.c_str(), nullptr);
        } else {
            write_bytes(path, entry.bytes);
        }
    }
    // What each folder holds first: a read-only folder may refuse new entries.
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        const std::wstring path = entry->relative.empty() ? path_ : path_ + L"\\" + entry->relative;
        SetFileAttributesW(path.c_str(), entry->attributes & kKeptAttributes);
    }
}

KeyCopy::KeyCopy(std::wstring key) : key_(std::move(key)) {
    const platform::win32::RegistryKeyHandle opened = open_key(key_, KEY_READ, false);
    if (opened) {
        for (RawValue& value : values_of(opened.get())) {
            values_.push_back({std::move(value.name), value.type, std::move(value.data)});
        }
    }
}

void KeyCopy::put_back() const {
    const platform::win32::RegistryKeyHandle key = open_key(key_, KEY_READ | KEY_SET_VALUE, true);
    if (!key) {
        return;
    }
    for (const RawValue& value : values_of(key.get())) {
        RegDeleteValueW(key.get(), value.name.c_str());
    }
    for (const Value& value : values_) {
        RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    }
}

std::vector<std::string> value_lines(const std::wstring& key) {
    std::vector<std::string> out;
    const platform::win32::RegistryKeyHandle opened = open_key(key, KEY_READ, false);
    if (!opened) {
        return out;
    }
    for (const RawValue& value : values_of(opened.get())) {
        out.push_back(utf8_of(key) + "\t" + utf8_of(value.name) + "\t" +
                      std::to_string(value.type) + "\t" + data_text(value));
    }
    return out;
}

testing::Files files_of(const std::wstring& folder) {
    testing::Files out;
    for (const Found& found : entries_of(folder, L"*")) {
        if ((found.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
            out[utf8_of(found.name)] = {
                read_bytes(folder + L"\\" + found.name).value_or(""),
                found.attributes &
                    (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)};
        }
    }
    return out;
}

std::vector<std::wstring> folders_of(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> out;
    for (const Found& found : entries_of(folder, pattern)) {
        if ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            out.push_back(found.name);
        }
    }
    return out;
}

} // namespace pelto::win32_test
