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

// The program-wide objects and texts of one run. The texts are declared before the
// database manager because the manager keeps a reference to gSQL (its clock queries
// write it) and must be released first.
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

    // How the run stopped when Main returned normally (steps 3, 4 and 7).
    int exit_status = exit_status::kCompleted;

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

// The whole run on the given state. Returns normally for the quiet early exits (with
// state.exit_status set); ends the process by throwing ProcessEnd after the completion
// message and after the fatal messages; an error it does not expect reaches the caller
// as VbError.
// With a code in `options`, that code is used and the input box is not shown.
void Main(platform::Platform& p, ProgramState& state,
          const installer::RunOptions& options = installer::RunOptions{});

// The start-up procedure: runs Main on a fresh program-wide state, releases that state
// when Main returns, and then ends the process with the status of the early exit.
// Always leaves by throwing ProcessEnd or VbError.
void Main(platform::Platform& p, const installer::RunOptions& options = installer::RunOptions{});

// The whole program after its arguments: Main with the run's options, silent dialogs and
// unattended copies for /SILENT, and every way the run ends turned into its exit status
// (an error that reaches it shown as the generic error message).
int run_program(platform::Platform& p, const installer::RunOptions& options);

// Runs `body`, which is the run or a part of it, to its end and gives the exit status:
// the one it returns, that of a ProcessEnd, or, for an error that reaches it, that of
// the generic error message it shows (report_unhandled_error).
int run_to_end(platform::Platform& p, const std::function<int()>& body);

// Pieces of the run, exposed for tests.

// The lookup statement for a typed code, the code placed between the quotes. Quotes in
// the code are doubled, so a code can neither break nor alter the statement.
Text lookup_statement(TextView code);

// The password rule of the institution row: the column deciphered with the first key
// text (trimmed), with the first key text again and with the second one; the second
// key text's result is used when the first yields only blanks. `read_column` gives the
// SQLPW column's text, read afresh for each of the three calls.
Text institution_password(clsZan암호화& cipher, const std::function<Text()>& read_column);

// The platform's generic error message for an error that reached Main:
// "Run-time error '53':" / blank line / description.
Text generic_error_text(int32_t number, TextView description);

// Shows an error that reached Main as the generic error message (critical icon, caption
// "PeltoUserInstall"), records it in the run log and gives the exit status to end with.
int report_unhandled_error(platform::Platform& p, const Error& error);

} // namespace pelto::mdl시작
