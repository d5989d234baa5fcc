// The Windows services, created once for the run.
#include "platform/platform.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/filesystem_win32.h"
#include "platform/win32/odbc_providers_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/profiles_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/run_log_win32.h"
#include "platform/win32/session_win32.h"
#include "platform/win32/shell_copy_win32.h"
#include "platform/win32/ui_win32.h"
#include "platform/win32/wide.h"

// commctrl.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

namespace pelto::platform {

namespace {

std::optional<win32::OdbcServerMap> test_server_map() {
#if defined(PELTO_WITH_ODBC_SERVER_MAP)
    return win32::OdbcServerMap::from_environment();
#else
    return std::nullopt;
#endif
}

class Win32Services final : public PlatformServices {
public:
    explicit Win32Services(std::wstring log_path)
        : log_(std::move(log_path)), drives_(log_), registry_(log_), profiles_(log_),
          files_(log_, drives_), shell_(drives_), processes_(log_), ui_(log_),
          odbc_(log_, test_server_map()),
          session_(log_), platform_{registry_, profiles_, files_, shell_,  processes_,
                                    ui_,       odbc_,     log_,   session_} {
        win32::report_failed_libraries_to(&log_);
        // Common Controls 6 (named by the manifest) for the dialogs' controls.
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
    }

    ~Win32Services() override { win32::report_failed_libraries_to(nullptr); }
    Win32Services(const Win32Services&) = delete;
    Win32Services& operator=(const Win32Services&) = delete;

    Platform& platform() override { return platform_; }
    win32::Win32RunLog& run_log() { return log_; }

private:
    win32::Win32RunLog log_;
    win32::MappedDrives drives_;
    win32::Win32Registry registry_;
    win32::Win32ProfileFiles profiles_;
    win32::Win32FileSystem files_;
    win32::Win32ShellCopy shell_;
    win32::Win32Processes processes_;
    win32::Win32UserInterface ui_;
    win32::Win32OdbcProviders odbc_;
    win32::Win32Session session_;
    Platform platform_;
};

} // namespace

std::unique_ptr<PlatformServices> make_platform(const PlatformOptions& options) {
    if (!options.run_log) {
        return std::make_unique<Win32Services>(win32::Win32RunLog::default_path());
    }
    auto services = std::make_unique<Win32Services>(win32::wide(*options.run_log));
    require_run_log(services->run_log(), *options.run_log);
    return services;
}

std::unique_ptr<PlatformServices> make_platform() {
    return make_platform(PlatformOptions{});
}

} // namespace pelto::platform
