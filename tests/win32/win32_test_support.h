// Helpers for the tests of the Windows services: a temporary folder of the test's own,
// files written and read byte for byte, and a platform made of the real services whose
// run log stays inside the temporary folder.
#pragma once

#include "platform/platform.h"
#include "platform/win32/filesystem_win32.h"
#include "platform/win32/odbc_providers_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/profiles_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/run_log_win32.h"
#include "platform/win32/session_win32.h"
#include "platform/win32/shell_copy_win32.h"
#include "platform/win32/ui_win32.h"
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
void write_bytes(const std::wstring& path, std::string_view bytes);
std::optional<std::string> read_bytes(const std::wstring& path);
bool exists(const std::wstring& path);
Text text_of(std::wstring_view wide);

// A name of the single-run mutex that no other test, and no real run, uses.
std::wstring test_mutex_name();

// The real services, with the run log in `log_file` and, when given, the test server map.
// Its session claims a mutex of the test's own (test_mutex_name()), never a real run's.
class TestPlatform {
public:
    explicit TestPlatform(const std::wstring& log_file,
                          std::optional<platform::win32::OdbcServerMap> server_map = std::nullopt);
    platform::Platform& get() { return platform_; }
    platform::RunLog& run_log() { return log_; }
    const std::wstring& session_name() const { return session_name_; }

private:
    platform::win32::Win32RunLog log_;
    platform::win32::Win32Registry registry_;
    platform::win32::Win32ProfileFiles profiles_;
    platform::win32::Win32FileSystem files_;
    platform::win32::Win32ShellCopy shell_;
    platform::win32::Win32Processes processes_;
    platform::win32::Win32UserInterface ui_;
    platform::win32::Win32OdbcProviders odbc_;
    std::wstring session_name_;
    platform::win32::Win32Session session_;
    platform::Platform platform_;
};

// True when windows can be created (a desktop exists): Wine without a display has none.
bool desktop_available();

} // namespace pelto::win32_test
