// The lock of the machine's one run on the mapped machine: an flock on
// log/PeltoUserInstall_H.lock below the machine root, a file that only the run's user can
// have made, in a folder that only the run's user may change.
//
// Whoever may write the machine root may run on it; nobody else may decide where the
// lock lies or hold it. So the folder `log` is used when it is a folder of the run's user
// (one that group or others may write loses those rights: its owner chose them, and no
// entry of it is trusted for that alone); anything else there (a link, a file, another
// user's folder) is moved aside whole to `log.<yyyymmdd-hhmmss>` and the folder made anew.
// The lock file is the run's own when it is a regular file with one name, of the run's
// user, that nobody else may write; anything else at its name (a link, a second name of
// another file, another user's file, a folder, a pipe) is moved aside to
// `PeltoUserInstall_H.lock.<yyyymmdd-hhmmss>`, never opened through, written or obeyed.
#pragma once

#include "platform/portable/host_files.h"
#include "platform/run_log.h"

#include <filesystem>

namespace pelto::platform::portable {

struct RunLock {
    enum class State {
        Held,        // `file` is open and locked by this process
        HeldByOther, // another open file description holds it; `file` is open, not locked
        Unavailable, // it could not be opened (logged)
    };
    State state = State::Unavailable;
    UniqueFd file; // open on the run's own lock file (Held, HeldByOther); close-on-exec
};

// Opens the lock file below `machine_root` by the rules above and tries to lock it
// without waiting. What it moves aside and what fails is logged.
RunLock lock_single_run(const std::filesystem::path& machine_root, RunLog& log);

} // namespace pelto::platform::portable
