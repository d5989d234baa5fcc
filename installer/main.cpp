// PeltoUserInstall_H: reads its arguments, picks the platform and runs the installation.
// The exit status tells how the run ended (core/exit_status.h).
#include "core/error.h"
#include "core/exit_status.h"
#include "core/workstation.h"
#include "installer/arguments.h"
#include "installer/run.h"
#include "platform/character_locale.h"
#include "platform/command_line.h"
#include "platform/platform.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    using namespace pelto;
    // The character type for the ODBC drivers; numbers keep the "C" form.
    platform::use_utf8_character_locale();

    // The arguments are read before the platform starts: a wrong one touches nothing,
    // not even the run log.
    const installer::CommandLine line =
        installer::parse_arguments(platform::program_arguments(argc, argv));
    if (line.kind != installer::CommandLine::Kind::Run) {
        const bool wrong = line.kind == installer::CommandLine::Kind::UsageError;
        const Text text =
            wrong ? line.fault + u"\n\n" + installer::usage_text() : installer::usage_text();
        std::cout << to_utf8(text) << std::flush;
        if (!line.silent_given) {
            platform::show_usage_dialog(
                text, wrong ? platform::MessageIcon::Critical : platform::MessageIcon::Information,
                workstation::kAppTitle);
        }
        return wrong ? exit_status::kUsageError : exit_status::kCompleted;
    }

    std::unique_ptr<platform::PlatformServices> services;
    try {
        services = platform::make_platform(platform::PlatformOptions{line.options.log});
    } catch (const platform::RunLogUnavailable& e) {
        // On standard output, where a script reads the usage errors too: the run has no
        // other record.
        std::cout << "PeltoUserInstall_H: " << e.what() << '\n' << std::flush;
        return exit_status::kPlatformUnavailable;
    } catch (const VbError& e) {
        std::cerr << "PeltoUserInstall_H: " << to_utf8(e.error().description) << '\n';
        return exit_status::kPlatformUnavailable;
    } catch (const std::exception& e) {
        std::cerr << "PeltoUserInstall_H: the platform could not start: " << e.what() << '\n';
        return exit_status::kPlatformUnavailable;
    }
    return installer::run_program(services->platform(), line.options);
}
