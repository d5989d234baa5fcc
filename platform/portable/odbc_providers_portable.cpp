// Placeholder until the database work lands.
#include "platform/portable/odbc_providers_portable.h"

namespace pelto::platform::portable {
PortableOdbcProviders::PortableOdbcProviders(const MachineRoot& machine, ConnectToLookup connect_to)
    : machine_(machine), connect_to_(std::move(connect_to)) {}
std::variant<OdbcTarget, Error> PortableOdbcProviders::translate(TextView) {
    return Error{adoerr::kFail, u"PeltoUserInstall_H", u"not implemented"};
}
} // namespace pelto::platform::portable
