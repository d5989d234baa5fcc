// The Linux program's platform: the Windows machine mapped onto PELTO_MACHINE_ROOT.
#include "platform/portable/machine_portable.h"
#include "platform/portable/process_terminal.h"
#include "platform/portable/run_log_file.h"
#include "platform/portable/terminal_ui.h"

namespace pelto::platform {

namespace portable {

namespace {

// The one place the program's services are given the terminal of this process.
Terminal& process_terminal() {
    static ProcessTerminal terminal;
    return terminal;
}

} // namespace

PortableMachine::PortableMachine(const MachineRoot& machine)
    : PortableMachine(machine, process_terminal(),
                      std::make_unique<TerminalUserInterface>(process_terminal()),
                      FileRunLog::of_machine(machine)) {}

PortableMachine::PortableMachine(MachineRoot machine, Terminal& terminal,
                                 std::unique_ptr<UserInterface> ui, std::unique_ptr<RunLog> log)
    : machine_(std::move(machine)), log_(std::move(log)), ui_(std::move(ui)),
      registry_(machine_.registry_file(), *log_), profiles_(*log_), files_(machine_, *log_),
      shell_(machine_, *log_, terminal), processes_(machine_, *log_, terminal, claim_),
      odbc_(machine_, registry_.connect_to_lookup()),
      session_(machine_, *log_, claim_), platform_{.registry = registry_,
                                                   .profiles = profiles_,
                                                   .files = files_,
                                                   .shell = shell_,
                                                   .processes = processes_,
                                                   .ui = *ui_,
                                                   .odbc = odbc_,
                                                   .log = *log_,
                                                   .session = session_} {}

} // namespace portable

std::unique_ptr<PlatformServices> make_platform(const PlatformOptions& options) {
    const portable::MachineRoot machine = portable::MachineRoot::from_environment();
    if (!options.run_log) {
        return std::make_unique<portable::PortableMachine>(machine);
    }
    // A Windows path of the machine, like every other path the program writes, reached one
    // name at a time: no link on the way is followed.
    std::unique_ptr<portable::FileRunLog> log = portable::FileRunLog::at(machine, *options.run_log);
    if (!log) {
        throw RunLogUnavailable("the run log " + to_utf8(*options.run_log) +
                                " cannot be opened: it is not a path on the machine");
    }
    require_run_log(*log, *options.run_log);
    return std::make_unique<portable::PortableMachine>(
        machine, portable::process_terminal(),
        std::make_unique<portable::TerminalUserInterface>(portable::process_terminal()),
        std::move(log));
}

std::unique_ptr<PlatformServices> make_platform() {
    return make_platform(PlatformOptions{});
}

} // namespace pelto::platform
