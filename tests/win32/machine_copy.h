// Saved copies of the parts of the Wine prefix's machine that a run changes, put back
// before every run of a sweep: folder trees (each file's bytes, each entry's attributes)
// and registry keys (their values in the 32-bit view, which the run writes). Put back in
// milliseconds, in the sweep's own process, so that each of its runs starts from the same
// machine.
#pragma once

#include "tests/support/fault_sweep.h"

#include <string>
#include <vector>
#include <windows.h>

namespace pelto::win32_test {

class TreeCopy {
public:
    // The tree at the absolute path `path` as it is now: nothing when it is not there.
    explicit TreeCopy(std::wstring path);

    // Whatever is at the path now goes, and the tree as it was comes back.
    void put_back() const;

private:
    struct Entry {
        std::wstring relative; // below the tree's root; "" for the root
        bool folder = false;
        std::string bytes;
        DWORD attributes = 0;
    };
    void save(const std::wstring& relative);

    std::wstring path_;
    std::vector<Entry> entries_; // a folder before what it holds
};

class KeyCopy {
public:
    // The values of HKLM\`key` in the 32-bit view as they are now (none when the key is
    // not there).
    explicit KeyCopy(std::wstring key);

    // The key with exactly those values again.
    void put_back() const;

private:
    struct Value {
        std::wstring name;
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    std::wstring key_;
    std::vector<Value> values_;
};

// The values of HKLM\`key` in the 32-bit view, a line each: the key, the value's name, its
// type and its data (text as UTF-8, numbers in decimal, anything else in hexadecimal).
std::vector<std::string> value_lines(const std::wstring& key);

// The files of `folder` (not its folders, nor links), with their read-only, hidden and
// system attributes, by name in UTF-8.
testing::Files files_of(const std::wstring& folder);

// The names of the folders of `folder` that match `pattern` (FindFirstFile's wildcards).
std::vector<std::wstring> folders_of(const std::wstring& folder, const std::wstring& pattern);

} // namespace pelto::win32_test
