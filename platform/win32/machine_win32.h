// Every Windows service, wired once: what make_platform() returns for the run, and what
// the Windows tests build with a run log of their own, so that they prove the platform
// the program runs on.
#pragma once

#include "platform/platform.h"
#include "platform/profile_write.h"
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/files/mapped_drive.h"
#include "platform/win32/files/run_log_win32.h"
#include "platform/win32/files/shell_copy_win32.h"
#include "platform/win32/odbc/odbc_providers_win32.h"
#include "platform/win32/odbc/odbc_server_map.h"
#include "platform/win32/process/processes_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/security/session_win32.h"
#include "platform/win32/ui/ui_win32.h"

#include <optional>
#include <string>

namespace pelto::platform::win32 {

class Win32Machine final : public PlatformServices {
public:
    // The run log in `log_path` (absolute). `server_map` is the test-only ODBC override
    // (odbc_server_map.h): the run has one only in a test build that was given one.
    explicit Win32Machine(const std::wstring& log_path,
                          std::optional<OdbcServerMap> server_map = std::nullopt);
    ~Win32Machine() override;
    Win32Machine(const Win32Machine&) = delete;
    Win32Machine& operator=(const Win32Machine&) = delete;

    Platform& platform() override { return platform_; }

    Win32RunLog& log() { return log_; }

private:
    // Declared first: every service below keeps a reference to it.
    Win32RunLog log_;
    // A path on a drive letter of the user's session, as the files and the shell copy see it.
    MappedDrives drives_;
    Win32Registry registry_;
    FolderProfiles profiles_;
    Win32FileSystem files_;
    Win32ShellCopy shell_;
    // The session's claim, which the programs the run starts are given.
    HeldRunClaim claim_;
    Win32Processes processes_;
    Win32UserInterface ui_;
    Win32OdbcProviders odbc_;
    // Claims the machine's one run (kSingleRunName).
    Win32Session session_;
    Platform platform_;
};

} // namespace pelto::platform::win32
