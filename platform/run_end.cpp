#include "platform/run_end.h"

#include "core/error.h"
#include "core/workstation.h"

#include <string>

namespace pelto::platform {

void end_run(Platform& p, TextView message, int exit_status, std::string_view reason) {
    p.ui.message_box(message, MessageIcon::Information, workstation::kAppTitle);
    p.log.write("run ended (exit status " + std::to_string(exit_status) +
                "): " + std::string(reason));
    throw ProcessEnd{exit_status};
}

} // namespace pelto::platform
