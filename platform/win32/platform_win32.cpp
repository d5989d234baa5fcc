// The Windows platform of the run: the machine's services, with the run log where the
// command line puts it.
#include "platform/platform.h"
#include "platform/win32/files/run_log_win32.h"
#include "platform/win32/machine_win32.h"
#include "platform/win32/wide.h"

namespace pelto::platform {

namespace {

std::optional<win32::OdbcServerMap> test_server_map() {
#if defined(PELTO_WITH_ODBC_SERVER_MAP)
    return win32::OdbcServerMap::from_environment();
#else
    return std::nullopt;
#endif
}

} // namespace

std::unique_ptr<PlatformServices> make_platform(const PlatformOptions& options) {
    if (!options.run_log) {
        return std::make_unique<win32::Win32Machine>(win32::Win32RunLog::default_path(),
                                                     test_server_map());
    }
    auto machine =
        std::make_unique<win32::Win32Machine>(win32::wide(*options.run_log), test_server_map());
    require_run_log(machine->log(), *options.run_log);
    return machine;
}

std::unique_ptr<PlatformServices> make_platform() {
    return make_platform(PlatformOptions{});
}

} // namespace pelto::platform
