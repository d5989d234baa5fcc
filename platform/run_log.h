// The run log for support staff: each step, each ignored platform status, each early
// exit. Never a password.
#pragma once

#include <string_view>

namespace pelto::platform {

class RunLog {
public:
    virtual ~RunLog() = default;
    // One line of UTF-8 text; the log adds the time stamp and the line end.
    virtual void write(std::string_view line) = 0;
};

} // namespace pelto::platform
