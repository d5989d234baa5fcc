// The platform seam: every service the program takes from the operating system, handed
// to the run as one context. platform/win32 implements it on the real Windows API,
// platform/portable on a Windows machine mapped onto a folder.
#pragma once

#include "platform/filesystem.h"
#include "platform/odbc_provider.h"
#include "platform/path_files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/run_log.h"
#include "platform/session.h"
#include "platform/shell_copy.h"
#include "platform/ui.h"

#include <memory>
#include <optional>
#include <stdexcept>

namespace pelto::platform {

// Built by naming each service (`Platform{.registry = r, .profiles = ...}`), never by
// position.
struct Platform {
    Registry& registry;
    ProfileFiles& profiles;
    FileSystem& files;
    ShellCopy& shell;
    Processes& processes;
    UserInterface& ui;
    OdbcProviders& odbc;
    RunLog& log;
    Session& session;
};

// Services that replace those of a platform, each named; a service left out is the
// platform's own.
struct ReplacedServices {
    Registry* registry = nullptr;
    ProfileFiles* profiles = nullptr;
    FileSystem* files = nullptr;
    ShellCopy* shell = nullptr;
    Processes* processes = nullptr;
    UserInterface* ui = nullptr;
    OdbcProviders* odbc = nullptr;
    RunLog* log = nullptr;
    Session* session = nullptr;
};

// `base` with the services `replaced` names (`with_services(p, {.ui = &silent})`).
Platform with_services(const Platform& base, const ReplacedServices& replaced);

// Files and folders by their Windows paths, over the platform's volumes (path_files.h).
inline PathFiles paths(Platform& p) {
    return PathFiles(p.files, p.log);
}

// Owns the services of one platform implementation.
class PlatformServices {
public:
    virtual ~PlatformServices() = default;
    virtual Platform& platform() = 0;
};

// What the command line chooses about the platform.
struct PlatformOptions {
    // The run log's file as a Windows path (/LOG=), instead of the usual place.
    std::optional<Text> run_log;
};

// The run log the command line named cannot be opened. An unattended run's log is its
// only record, so the run does not start without it: the entry point ends with the
// platform's status and the reason on standard output.
class RunLogUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The run log the command line named, opened now: throws RunLogUnavailable with the
// path and the reason when it cannot be. The same rule on every platform.
void require_run_log(FileRunLogBase& log, TextView path);

// The implementation this program was built with (win32 or portable). Throws
// VbError with a clear description when it cannot start (the portable machine root
// missing, say), RunLogUnavailable for a /LOG file it cannot open.
std::unique_ptr<PlatformServices> make_platform(const PlatformOptions& options);
std::unique_ptr<PlatformServices> make_platform();

} // namespace pelto::platform
