// Placeholder until the installation-run work lands.
#include "platform/portable/processes_portable.h"

#include "core/error.h"

namespace pelto::platform::portable {
PortableProcesses::PortableProcesses(const MachineRoot& machine) : machine_(machine) {}
std::unique_ptr<Process> PortableProcesses::start(TextView, int) {
    throw VbError::runtime(vberr::kFileNotFound);
}
} // namespace pelto::platform::portable
