// Starting the installer and updater and waiting for them.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelto::platform {

constexpr int kShowNormalFocus = 1; // vbNormalFocus / SW_SHOWNORMAL

// A started program; the handle is released by the destructor.
class Process {
public:
    virtual ~Process() = default;
    virtual uint32_t id() const = 0;
    // Blocks on the process itself until it has ended (no polling) and returns its exit
    // code; nullopt when it cannot be waited for.
    virtual std::optional<uint32_t> wait_for_exit() = 0;
};

// A program a started program left running when it ended.
struct LeftRunning {
    uint32_t id;
    std::string name; // its image name
};

// The run log's line naming what `program` left running, the same on every platform:
// "PROGRAM has ended and left running what it started: NAME (process ID), ...".
std::string left_running_line(std::string_view program, std::span<const LeftRunning> left);

// Whether a started program's exit code asks for a restart, as Windows Installer and
// deployment tools read it: ERROR_SUCCESS_REBOOT_REQUIRED (3010) or
// ERROR_SUCCESS_REBOOT_INITIATED (1641). A program on a system whose exit statuses have 8
// bits (`exit_code_mask` 0xFF) can only end with their low byte (194 and 105), which
// stands for them there.
bool asks_for_restart(uint32_t exit_code, uint32_t exit_code_mask);

class Processes {
public:
    virtual ~Processes() = default;
    // The bits of an exit code a started program can give: 32 on Windows.
    virtual uint32_t exit_code_mask() const { return 0xFFFFFFFFU; }
    // Starts the program at `path` with a normal, activated window, in `working_folder` (a
    // Windows path) as its current folder: never the run's own, which is wherever the
    // person started the run from. A program that cannot be started throws VbError (53
    // file not found, 5 otherwise), as VB's Shell does; so does a working folder that is
    // not there (5).
    virtual std::unique_ptr<Process> start(TextView path, int show_command,
                                           TextView working_folder) = 0;
    // Why the file at `path` could not be started as a program (not there, not a program
    // this system runs, not allowed to run); nullopt when it could. Only looks: what a plan
    // asks of the installer it will not start.
    virtual std::optional<std::string> cannot_start(TextView path) = 0;
};

} // namespace pelto::platform
