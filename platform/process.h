// Starting the installer and updater and waiting for them.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <memory>
#include <optional>

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

class Processes {
public:
    virtual ~Processes() = default;
    // Starts the program at `path` with a normal, activated window. A program that cannot
    // be started throws VbError (53 file not found, 5 otherwise), as VB's Shell does.
    virtual std::unique_ptr<Process> start(TextView path, int show_command) = 0;
};

} // namespace pelto::platform
