// Starting a program with a normal, activated window and waiting on its process handle.
#pragma once

#include "platform/process.h"

namespace pelto::platform::win32 {

class Win32Processes final : public Processes {
public:
    std::unique_ptr<Process> start(TextView path, int show_command) override;
};

} // namespace pelto::platform::win32
