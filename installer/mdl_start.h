// mdl시작: the start-up procedure Main, which is the whole installation run, and the
// program-wide state it holds.
#pragma once

#include "core/error.h"
#include "core/exit_status.h"
#include "core/text.h"
#include "installer/arguments.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelto {
class clsDBMng;
class clsZan암호화;
namespace ado {
class Recordset;
}
} // namespace pelto

namespace pelto::mdl시작 {

// The program-wide objects and texts of one run.
struct ProgramState {
    ProgramState();
    ~ProgramState(); // releasing gDBMng disconnects it
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    Text gSQL;        // the institution lookup statement
    Text gUpdatePath; // 자동업데이트경로 of the institution row
    Text gSQLName;    // the institution server's name
    Text gSQLUser;    // its login
    Text gSQLPW;      // its password, deciphered (never logged)
    Text gMainDB;     // its database

    std::unique_ptr<clsDBMng> gDBMng;      // created on first use
    std::unique_ptr<clsZan암호화> gCipher; // created on first use
    // The institution lookup's record set, kept for the run's length; released before
    // the manager, whose connection it was read on.
    std::shared_ptr<ado::Recordset> institution_rows;

    // What failed in a run that still went on to its end: a failing exit code of the
    // installer or the updater, the settings file's keys not written. Any of them ends the
    // run with kCompletedWithFaults, and the last line of the run log names each.
    std::vector<std::string> faults;
    // An exit code of the installer or the updater that asks for a restart; it becomes the
    // run's exit status when nothing failed.
    std::optional<uint32_t> restart_code;
    // Whether the institution server was tested, and why it could not be reached.
    bool institution_server_tested = false;
    std::optional<Error> institution_server_failure;
};

// The whole run on the given state; its exit status. A step deep inside that ends the run
// (a message, then the end: an update path that cannot serve, a missing installer)
// raises ProcessEnd with its status (platform::end_run); an error it does not expect
// reaches the caller as it was raised. With a code in `options`, that code is used and
// the input box is not shown.
int Main(platform::Platform& p, ProgramState& state,
         const installer::RunOptions& options = installer::RunOptions{});

// Pieces of the run, exposed for tests.

// The lookup statement for a typed code, the code placed between the quotes. Quotes in
// the code are doubled, so a code can neither break nor alter the statement.
Text lookup_statement(TextView code);

// The password rule of the institution row: the column deciphered with the first key
// text (trimmed), with the first key text again and with the second one; the second
// key text's result is used when the first yields only blanks. `read_column` gives the
// SQLPW column's text, read afresh for each of the three calls.
Text institution_password(clsZan암호화& cipher, const std::function<Text()>& read_column);

} // namespace pelto::mdl시작
