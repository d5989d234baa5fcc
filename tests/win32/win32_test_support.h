// Helpers for the tests of the Windows services: a temporary folder of the test's own,
// files written and read byte for byte. A test that needs the whole platform builds the
// program's own (platform::win32::Win32Machine) with its run log in that folder.
#pragma once

#include "platform/platform.h"
#include "platform/win32/machine_win32.h"
#include "tests/support/recording.h"

#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace pelto::win32_test {

using MemoryLog = testing::MemoryRunLog;

// A fresh folder below %TEMP%, removed with everything in it (attributes cleared first)
// when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    Text text() const { return Text(path_.begin(), path_.end()); }
    // path() + "\" + relative
    std::wstring operator/(std::wstring_view relative) const;

private:
    std::wstring path_;
};

void remove_tree(const std::wstring& path);
// The names in the folder at `path`, without "." and "..", in code point order; none
// when it cannot be listed.
std::vector<std::wstring> names_in(const std::wstring& path);
void write_bytes(const std::wstring& path, std::string_view bytes);
std::optional<std::string> read_bytes(const std::wstring& path);
bool exists(const std::wstring& path);
Text text_of(std::wstring_view wide);
// The owner and DACL of the entry at `path` (read without following a link) in SDDL, to
// compare; "unreadable" when the system will not give them.
std::string rights_text(const std::wstring& path);

// A name of the single-run mutex that no other test, and no real run, uses.
std::wstring test_mutex_name();

// True when windows can be created (a desktop exists): Wine without a display has none.
bool desktop_available();

} // namespace pelto::win32_test
