// PeltoUserInstall_H: picks the platform and runs the installation. The exit status tells
// how the run ended (installer/exit_status.h).
#include "core/error.h"
#include "installer/exit_status.h"
#include "installer/mdl_start.h"
#include "platform/platform.h"

#include <clocale>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#ifndef _WIN32
#include <langinfo.h>
#endif

namespace {

// The ODBC drivers convert wide text with the program's character-type locale; Korean
// names and values need a UTF-8 one on Linux. Only the character type is taken from the
// user: numbers and dates keep the "C" form whatever the user's locale says.
void use_system_locale() {
    std::setlocale(LC_CTYPE, "");
#ifndef _WIN32
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || std::strcmp(codeset, "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
#endif
}

} // namespace

int main() {
    using namespace pelto;
    use_system_locale();

    std::unique_ptr<platform::PlatformServices> services;
    try {
        services = platform::make_platform();
    } catch (const VbError& e) {
        std::cerr << "PeltoUserInstall_H: " << to_utf8(e.error().description) << '\n';
        return exit_status::kPlatformUnavailable;
    } catch (const std::exception& e) {
        std::cerr << "PeltoUserInstall_H: the platform could not start: " << e.what() << '\n';
        return exit_status::kPlatformUnavailable;
    }
    platform::Platform& p = services->platform();

    try {
        mdl시작::Main(p);
    } catch (const ProcessEnd& end) {
        return end.exit_status;
    } catch (const VbError& e) {
        return mdl시작::sG_ReportUnhandledError(p, e.error());
    } catch (const std::bad_alloc&) {
        return mdl시작::sG_ReportUnhandledError(p,
                                                Error{7, u"PeltoUserInstall_H", u"Out of memory"});
    } catch (const std::exception& e) {
        return mdl시작::sG_ReportUnhandledError(
            p, Error{vberr::kInvalidProcedureCall, u"PeltoUserInstall_H", from_utf8(e.what())});
    }
    return exit_status::kCompleted; // Main always ends the process itself
}
