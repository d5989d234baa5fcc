// A platform that passes every call through to a real one and fails the k-th, the way that
// call fails for real: a listing that cannot be read, a refused change (access denied, a
// sharing violation), a full disk, a missing entry, a refused registry key, a database
// whose server stopped answering, a program that cannot start. It names the failed call
// in the run log, as the platforms name every refused call. A fault sweep runs the run
// once for every k up to the number of calls a clean run makes.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <memory>
#include <string>

namespace pelto::testing {

// Counts the calls that reach the seam and decides which one fails.
class FaultCounter {
public:
    // `fail_at` is the 1-based call that fails; 0 lets every call through.
    FaultCounter(size_t fail_at, platform::RunLog& log) : fail_at_(fail_at), log_(log) {}

    // Whether this call must fail; a failing call is named in the run log.
    bool fails(std::string_view call, TextView subject, std::string_view why);
    size_t calls() const { return calls_; }
    // The call that was failed ("" when none was).
    const std::string& failed() const { return failed_; }

private:
    size_t fail_at_;
    platform::RunLog& log_;
    size_t calls_ = 0;
    std::string failed_;
};

class FaultPlatform {
public:
    FaultPlatform(platform::Platform& real, size_t fail_at);
    ~FaultPlatform();
    FaultPlatform(const FaultPlatform&) = delete;
    FaultPlatform& operator=(const FaultPlatform&) = delete;

    platform::Platform& platform() { return *platform_; }
    const FaultCounter& counter() const { return counter_; }

private:
    struct Services;
    FaultCounter counter_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<platform::Platform> platform_;
};

} // namespace pelto::testing
