#include "installer/run.h"

#include "core/exit_status.h"
#include "core/workstation.h"
#include "installer/mdl_start.h"
#include "installer/plan.h"
#include "installer/restore.h"
#include "installer/run_session.h"
#include "installer/silent_ui.h"

#include <string>

namespace pelto::installer {

int run_to_end(platform::Platform& p, const std::function<int()>& body) {
    try {
        return body();
    } catch (const ProcessEnd& end) {
        return end.exit_status;
    } catch (const std::exception&) {
        return report_unhandled_error(p, current_error());
    }
}

int run_program(platform::Platform& p, const RunOptions& options) {
    // Silent: the same services, but every dialog goes to the run log and the copies
    // neither ask nor show progress.
    SilentUserInterface silent_ui(p.ui, p.log);
    platform::Platform run = options.silent ? platform::with_services(p, {.ui = &silent_ui})
                                            : platform::with_services(p, {});
    // A plan asks for the rights the run needs, since it reads what the run reads (the
    // kept settings files are for administrators only), but claims nothing.
    if (const std::optional<int> refused =
            check_session(run, options.plan ? Claim::None : Claim::SingleRun)) {
        return *refused;
    }
    p.shell.set_unattended(options.silent);
    if (options.silent) {
        p.log.write("silent run: no dialogs; the exit status and this log tell the outcome");
    }
    if (options.plan) {
        return run_plan(run, options);
    }
    if (options.restore) {
        return run_to_end(run, [&] { return restore_settings(run, *options.restore); });
    }
    return run_to_end(run, [&] {
        mdl시작::ProgramState g; // released when the run ends: the manager disconnects
        return mdl시작::Main(run, g, options);
    });
}

Text generic_error_text(int32_t number, TextView description) {
    std::string shown = std::to_string(number);
    if (number < 0) {
        // VB shows an HRESULT with its hexadecimal form as well.
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string hex(8, '0');
        auto bits = static_cast<uint32_t>(number);
        for (int i = 7; i >= 0; --i, bits >>= 4) {
            hex[static_cast<size_t>(i)] = kHex[bits & 0xFU];
        }
        shown += " (" + hex + ")";
    }
    return from_utf8("Run-time error '" + shown + "':\n\n") + Text(description);
}

int report_unhandled_error(platform::Platform& p, const Error& error) {
    p.log.write("run ended (exit status " + std::to_string(exit_status::kUnhandledError) +
                "): unhandled error " + std::to_string(error.number) + " (" +
                to_utf8(error.source) + "): " + to_utf8(error.description));
    p.ui.message_box(generic_error_text(error.number, error.description),
                     platform::MessageIcon::Critical, workstation::kAppTitle);
    return exit_status::kUnhandledError;
}

} // namespace pelto::installer
