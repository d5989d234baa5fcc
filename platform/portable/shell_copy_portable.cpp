// Placeholder until the installation-run work lands.
#include "platform/portable/shell_copy_portable.h"

namespace pelto::platform::portable {
PortableShellCopy::PortableShellCopy(const MachineRoot& machine) : machine_(machine) {}
int PortableShellCopy::copy_file(const OwnerWindow&, TextView, TextView) { return 1; }
} // namespace pelto::platform::portable
