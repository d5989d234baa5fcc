// The Linux program's platform: the Windows machine mapped onto PELTO_MACHINE_ROOT.
#include "platform/portable/portable_machine.h"
#include "platform/portable/run_log_file.h"
#include "platform/portable/terminal_ui.h"

namespace pelto::platform {

namespace portable {

PortableMachine::PortableMachine(const MachineRoot& machine)
    : PortableMachine(machine, std::make_unique<TerminalUserInterface>(),
                      std::make_unique<FileRunLog>(machine.log_file())) {}

PortableMachine::PortableMachine(MachineRoot machine, std::unique_ptr<UserInterface> ui,
                                 std::unique_ptr<RunLog> log)
    : machine_(std::move(machine)), log_(std::move(log)), ui_(std::move(ui)),
      registry_(machine_.registry_file(), *log_), profiles_(machine_, *log_),
      files_(machine_, *log_), shell_(machine_, *log_), processes_(machine_, *log_, claim_),
      odbc_(machine_, registry_.connect_to_lookup()),
      session_(machine_, *log_, claim_), platform_{registry_, profiles_,  files_,
                                                   shell_,    processes_, *ui_,
                                                   odbc_,     *log_,      session_} {}

} // namespace portable

std::unique_ptr<PlatformServices> make_platform(const PlatformOptions& options) {
    const portable::MachineRoot machine = portable::MachineRoot::from_environment();
    if (!options.run_log) {
        return std::make_unique<portable::PortableMachine>(machine);
    }
    // A Windows path of the machine, like every other path the program writes; a link on
    // the way may not lead the log off the machine.
    const std::optional<std::filesystem::path> mapped = machine.to_host(*options.run_log);
    const std::optional<std::filesystem::path> followed =
        mapped ? machine.follow_links(*mapped) : std::nullopt;
    if (!followed) {
        throw RunLogUnavailable("the run log " + to_utf8(*options.run_log) +
                                " cannot be opened: it is not a path on the machine");
    }
    auto log = std::make_unique<portable::FileRunLog>(*followed);
    require_run_log(*log, *options.run_log);
    return std::make_unique<portable::PortableMachine>(
        machine, std::make_unique<portable::TerminalUserInterface>(), std::move(log));
}

std::unique_ptr<PlatformServices> make_platform() {
    return make_platform(PlatformOptions{});
}

} // namespace pelto::platform
