// HKEY_LOCAL_MACHINE through advapi32's "W" functions: key paths and value names as UTF-16,
// whatever the machine's own code page.
#pragma once

#include "platform/registry.h"
#include "platform/run_log.h"

#include <windows.h>

namespace pelto::platform::win32 {

// The view every key is opened in. The shipped program is 32-bit, so its keys are the
// ones a 32-bit process sees (where 32-bit SQL Server clients read their aliases); the
// 64-bit build asks for that same view. A 32-bit Windows ignores the flag.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;

// A refused open or write is logged with the key, the value's name (never its data) and
// the status; a missing key is an answer and stays quiet.
class Win32Registry final : public Registry {
public:
    explicit Win32Registry(RunLog& log) : log_(log) {}
    long open_local_machine_key(TextView path, uint32_t access,
                                std::unique_ptr<RegistryKey>& key) override;

private:
    RunLog& log_;
};

} // namespace pelto::platform::win32
