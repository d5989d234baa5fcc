#include "platform/portable/session_portable.h"

#include "platform/portable/run_lock.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace pelto::platform::portable {

namespace {

constexpr TextView kLockShown = u"log\\PeltoUserInstall_H.lock";

// When the process `pid` started, in clock ticks after boot (/proc/PID/stat, field 22);
// nullopt when it does not run (a zombie has ended).
std::optional<uint64_t> start_time(uint32_t pid) {
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(stat_file, stat);
    const size_t close = stat.rfind(')'); // the name before it may hold anything
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    fields >> state;
    std::string field;
    for (int skipped = 0; skipped < 18 && fields >> field; ++skipped) {
    }
    uint64_t start = 0;
    if (state == "Z" || state == "X" || !(fields >> start)) {
        return std::nullopt;
    }
    return start;
}

// "PID START" as the holder wrote it; the holder unknown when it cannot be read.
RunHolder holder_of(int lock) {
    char text[64];
    const ssize_t size = ::pread(lock, text, sizeof text - 1, 0);
    if (size <= 0) {
        return {};
    }
    const char* const end = text + size;
    uint32_t pid = 0;
    uint64_t start = 0;
    const auto [after_pid, pid_error] = std::from_chars(text, end, pid);
    if (pid_error != std::errc() || after_pid == end || *after_pid != ' ') {
        return {};
    }
    const auto [after_start, start_error] = std::from_chars(after_pid + 1, end, start);
    if (start_error != std::errc()) {
        return {};
    }
    return RunHolder{pid, start_time(pid) == start};
}

} // namespace

PortableSession::PortableSession(const MachineRoot& machine, RunLog& log, HeldRunClaim& claim)
    : machine_(machine), log_(log), claim_(claim) {}

uint32_t PortableSession::process_id() const {
    return static_cast<uint32_t>(::getpid());
}

SingleRunClaim PortableSession::claim_single_run() {
    if (claim_.lock.valid()) {
        return SingleRunClaim::granted(); // claimed already by this run
    }
    RunLock lock = lock_single_run(machine_.root(), log_);
    if (lock.state == RunLock::State::HeldByOther) {
        return SingleRunClaim::refused(holder_of(lock.file.get()));
    }
    if (lock.state == RunLock::State::Held) {
        const uint32_t pid = process_id();
        const std::string record =
            std::to_string(pid) + " " + std::to_string(start_time(pid).value_or(0)) + "\n";
        if (::ftruncate(lock.file.get(), 0) != 0 ||
            ::pwrite(lock.file.get(), record.data(), record.size(), 0) !=
                static_cast<ssize_t>(record.size())) {
            log_errno_failure(log_, "pwrite", kLockShown, machine_.run_lock_file());
        }
        claim_.lock = std::move(lock.file);
    }
    return SingleRunClaim::granted();
}

} // namespace pelto::platform::portable
