// Where the program's libraries come from. The program runs as administrator and may be
// started from a download folder that anyone can write to: a library found beside it, or
// in the current folder, would run with those rights.
//
// So the program's import table names only KnownDLLs, which Windows always takes from
// System32 whatever the search order, and comctl32.dll, which the manifest binds to the
// side-by-side Common Controls 6 in WinSxS (the stage checks this list). Every other
// system library (odbc32.dll) is delay-loaded from System32. The search is limited to
// System32 on the program's first instruction (program_entry.cpp), before the C runtime
// and any static initializer run.
#pragma once

#include "platform/run_log.h"

namespace pelto::platform::win32 {

// Limits every later library load of this process to System32
// (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)). False on a Windows that lacks
// the call (Windows 7 without update KB2533623); the current folder is then at least
// dropped from the search, and the program must stop before it loads anything else.
// Loads nothing and needs no C runtime.
bool limit_library_search_to_system32();

// Says that this Windows cannot limit where libraries come from and what to install, on
// standard output and, unless /SILENT is on the command line, in a message box; then ends
// the process with the platform's status (21). Loads nothing and needs no C runtime.
[[noreturn]] void stop_for_want_of_library_search();

// The run log that a library which cannot be delay-loaded is reported in, besides the
// generic error message (unless /SILENT); null for none. The process then ends with the
// status of an error that reached the run (20), not with an unhandled exception.
void report_failed_libraries_to(RunLog* log);

} // namespace pelto::platform::win32
