// The command line of PeltoUserInstall_H, Windows style: /CODE=<code>, /SILENT,
// /LOG=<path>, /PLAN, /RESTORE[=<stamp>] and /?, names in any letter case. Without arguments the
// run asks for the code and shows every dialog, as it always has.
#pragma once

#include "core/text.h"

#include <optional>
#include <vector>

namespace pelto::installer {

struct RunOptions {
    // /CODE=: the care-institution code, used exactly as given; no input box.
    std::optional<Text> code;
    // /SILENT: no dialog at all; the exit status and the run log tell the outcome.
    bool silent = false;
    // /LOG=: the run log's file (a Windows path) instead of the usual one.
    std::optional<Text> log;
    // /PLAN: every read the run makes, nothing changed and nothing started; what the run
    // would do is printed instead.
    bool plan = false;
    // /RESTORE or /RESTORE=yyyymmdd-hhmmss: the settings files kept in the newest (or the
    // named) dated folder go back into C:\Pelto_H\bin instead of an installation. Empty
    // for the newest.
    std::optional<Text> restore;
};

struct CommandLine {
    enum class Kind {
        Run,        // run with `options`
        Help,       // /?: print the usage and end
        UsageError, // print `fault` and the usage, end with the usage-error status
    };
    Kind kind = Kind::Run;
    RunOptions options;
    // What is wrong with the arguments, in Korean and English (UsageError only).
    Text fault;
    // Whether /SILENT was among the arguments, even when they are wrong: then no dialog
    // shows the usage either.
    bool silent_given = false;
};

CommandLine parse_arguments(const std::vector<Text>& arguments);

// The usage, in Korean and English.
Text usage_text();

} // namespace pelto::installer
