// /PLAN: the run (or the restore) made on the platform of a plan, which reads the real
// workstation and keeps every write in memory, and the plan it leaves: what the run would
// write into the registry, delete, keep, copy, start and write into Pelto.ini, which
// institution the code finds, whether the update path serves, what the institution server
// test gives, and the exit status the run would end with. Nothing on the workstation is
// changed and nothing is started; the run log says that a plan was made.
#pragma once

#include "installer/arguments.h"
#include "installer/restore.h"
#include "platform/overlay/plan_record.h"
#include "platform/platform.h"

namespace pelto::mdl시작 {
struct ProgramState;
}

namespace pelto::installer {

// Makes the plan of the run `options` asks for, prints it on standard output, shows it
// (Windows: a window with a copy button, unless silent) and writes it into the run log.
// Returns the exit status the run would end with.
int run_plan(platform::Platform& p, const RunOptions& options);

// The plan as text, from what the planned run recorded, the state it left and the exit
// status it would end with.
// `restore` is set for the plan of a restore, with what it found below 보관.
Text plan_report(const platform::overlay::PlanRecord& record, const mdl시작::ProgramState& g,
                 int exit_status, const RestoreFindings* restore);

} // namespace pelto::installer
