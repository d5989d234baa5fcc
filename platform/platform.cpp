#include "platform/platform.h"

namespace pelto::platform {

Platform with_services(const Platform& base, const ReplacedServices& replaced) {
    const auto pick = [](auto* chosen, auto& own) -> decltype(own) {
        return chosen != nullptr ? *chosen : own;
    };
    return Platform{.registry = pick(replaced.registry, base.registry),
                    .profiles = pick(replaced.profiles, base.profiles),
                    .files = pick(replaced.files, base.files),
                    .shell = pick(replaced.shell, base.shell),
                    .processes = pick(replaced.processes, base.processes),
                    .ui = pick(replaced.ui, base.ui),
                    .odbc = pick(replaced.odbc, base.odbc),
                    .log = pick(replaced.log, base.log),
                    .session = pick(replaced.session, base.session)};
}

void require_run_log(FileRunLogBase& log, TextView path) {
    if (const std::optional<std::string> refusal = log.open()) {
        throw RunLogUnavailable("the run log " + to_utf8(path) + " cannot be opened: " + *refusal);
    }
}

} // namespace pelto::platform
