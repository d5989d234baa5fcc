// Every service of the mapped machine, built on one machine root: what make_platform()
// returns for PELTO_MACHINE_ROOT, and what tests and the demo build on a folder of
// their own (with a terminal, dialogs and a run log of their choice).
#pragma once

#include "platform/platform.h"
#include "platform/portable/filesystem_portable.h"
#include "platform/portable/machine_root.h"
#include "platform/portable/odbc_providers_portable.h"
#include "platform/portable/processes_portable.h"
#include "platform/portable/registry_store.h"
#include "platform/portable/session_portable.h"
#include "platform/portable/shell_copy_portable.h"
#include "platform/portable/terminal.h"
#include "platform/profile_write.h"

#include <memory>

namespace pelto::platform::portable {

class PortableMachine final : public PlatformServices {
public:
    // The dialogs on the terminal of this process and the run log in
    // log/PeltoUserInstall_H.log.
    explicit PortableMachine(const MachineRoot& machine);
    // `terminal` (which must outlive the machine) is where the shell copy asks and what
    // the programs the run waits for are given.
    PortableMachine(MachineRoot machine, Terminal& terminal, std::unique_ptr<UserInterface> ui,
                    std::unique_ptr<RunLog> log);
    PortableMachine(const PortableMachine&) = delete;
    PortableMachine& operator=(const PortableMachine&) = delete;

    Platform& platform() override { return platform_; }

    const MachineRoot& machine() const { return machine_; }
    PortableRegistry& registry() { return registry_; }
    PortableFileSystem& files() { return files_; }
    UserInterface& ui() { return *ui_; }
    RunLog& log() { return *log_; }

private:
    // Declared first: every service below keeps a reference to it.
    MachineRoot machine_;
    std::unique_ptr<RunLog> log_;
    std::unique_ptr<UserInterface> ui_;
    PortableRegistry registry_;
    FolderProfiles profiles_;
    PortableFileSystem files_;
    PortableShellCopy shell_;
    // The session's claim, which the programs the run starts inherit.
    HeldRunClaim claim_;
    PortableProcesses processes_;
    PortableOdbcProviders odbc_;
    PortableSession session_;
    Platform platform_;
};

} // namespace pelto::platform::portable
