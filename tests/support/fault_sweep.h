// What a fault sweep of the run checks, on whichever machine it runs: the portable machine
// on Linux (tests/installer/fault_sweep_test.cpp) or the Windows services under Wine
// (tests/win32/fault_sweep.cpp). The machine runs the real run in-process with its k-th
// call to the platform failing (FaultPlatform); these checks say whether the run held:
// a completed exit status only with a completed workstation, else a status of the table
// with the run log's last word; every changed settings file kept byte for byte with its
// attributes and put back by /RESTORE; Pelto.ini one whole file; a fault-free run then
// ending as a clean run does; no password shown.
#pragma once

#include "installer/arguments.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace pelto::testing {

// A file as a restore must give it back: its bytes and its read-only, hidden and system
// attributes.
struct FileState {
    std::string bytes;
    uint32_t attributes = 0;
    bool operator==(const FileState&) const = default;
};

void PrintTo(const FileState& file, std::ostream* out);

// The files of one folder (not those of its folders), by name.
using Files = std::map<std::string, FileState>;

// What a run leaves that the checks compare.
struct EndState {
    int status = -1;
    // The values of the run's registry keys, one a line, in any order (registry_values).
    std::multiset<std::string> registry;
    Files bin;    // C:\Pelto_H\bin
    Files staged; // the staging folder
};

// One run of the real program: what it left, printed and logged, and its calls.
struct RunOutcome {
    EndState end;
    std::string shown;  // standard output and error, the run log
    size_t calls = 0;   // the calls it made to the platform
    std::string failed; // the call that was failed ("" when none was)
};

// The registry values of `lines` (a line each), whatever order they were written in. An
// institution server test that fails, for whatever reason, writes the server's named-pipe
// alias, which no later run removes: a completed run either way, so that alias is left
// out.
std::multiset<std::string> registry_values(const std::vector<std::string>& lines);

// A machine a sweep runs on.
class SweepMachine {
public:
    virtual ~SweepMachine() = default;
    // The machine as it was before the sweep's first run.
    virtual void reset() = 0;
    // What the machine holds now, with `status` as the exit status.
    virtual EndState end_state(int status) = 0;
    // The real run, in this process, on the machine as it is now, its `fail_at`-th call to
    // the platform failing (0: none).
    virtual RunOutcome run(const installer::RunOptions& options, size_t fail_at) = 0;
    // The files of every set of settings files kept below 보관.
    virtual std::vector<Files> kept_sets() = 0;
    // What only this machine's store can be checked for after a faulty run (`at` names
    // the fault in a failure).
    virtual void check_own(const std::string& at) { (void)at; }
};

// What a sweep is told about the machine and the run.
struct SweepRules {
    installer::RunOptions install;        // the run swept
    std::vector<std::string> passwords;   // never shown
    std::string template_bytes;           // the settings-file template on the update path
    std::set<std::string> suite_programs; // bin files the suite's installer rewrites
};

installer::RunOptions silent_install(const char* code);
installer::RunOptions silent_restore();

// The clean run the faulty ones are held to, on a reset machine, and the state before it.
struct SweepReference {
    EndState before;
    RunOutcome clean;
};
SweepReference clean_reference(SweepMachine& machine, const SweepRules& rules);

// Fails each call from `first` to `last` (1-based, calls of the clean run) in turn, on a
// reset machine each time, and checks every run (GoogleTest failures). Stops at the first
// call whose run failed a check; the number of calls failed.
size_t sweep_calls(SweepMachine& machine, const SweepRules& rules, const SweepReference& reference,
                   size_t first, size_t last);

} // namespace pelto::testing
