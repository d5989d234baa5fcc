// Programs of the mapped machine are ordinary executables (a script with a shebang is
// fine), started with their Windows path and waited for with waitpid.
#pragma once

#include "platform/portable/machine_root.h"
#include "platform/process.h"

namespace pelto::platform::portable {

class PortableProcesses final : public Processes {
public:
    explicit PortableProcesses(const MachineRoot& machine);
    std::unique_ptr<Process> start(TextView path, int show_command) override;

private:
    const MachineRoot& machine_;
};

} // namespace pelto::platform::portable
