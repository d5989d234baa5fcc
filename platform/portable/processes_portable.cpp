// Programs of the mapped machine, started by their Windows path with posix_spawn and
// waited for with waitpid: the run sleeps in the kernel while the program runs.
#include "platform/portable/processes_portable.h"

#include "core/error.h"

#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ; // NOLINT: POSIX declares it nowhere else

namespace pelto::platform::portable {

namespace {

constexpr TextView kSource = u"PeltoUserInstall_H";

class PortableProcess final : public Process {
public:
    explicit PortableProcess(pid_t pid) : pid_(pid) {}
    PortableProcess(const PortableProcess&) = delete;
    PortableProcess& operator=(const PortableProcess&) = delete;

    // A program still running when its handle goes is left to run, as on Windows;
    // one that has ended is reaped so that no zombie stays behind.
    ~PortableProcess() override {
        if (!reaped_) {
            int status = 0;
            (void)waitpid(pid_, &status, WNOHANG);
        }
    }

    uint32_t id() const override { return static_cast<uint32_t>(pid_); }

    std::optional<uint32_t> wait_for_exit() override {
        if (reaped_) {
            return exit_code_;
        }
        int status = 0;
        pid_t rc = 0;
        do {
            rc = waitpid(pid_, &status, 0);
        } while (rc < 0 && errno == EINTR);
        reaped_ = true;
        if (rc < 0) {
            exit_code_.reset(); // cannot be waited for: the wait ends at once
        } else if (WIFEXITED(status)) {
            exit_code_ = static_cast<uint32_t>(WEXITSTATUS(status));
        } else if (WIFSIGNALED(status)) {
            // The shell's convention for a program ended by a signal.
            exit_code_ = 128U + static_cast<uint32_t>(WTERMSIG(status));
        }
        return exit_code_;
    }

private:
    pid_t pid_;
    bool reaped_ = false;
    std::optional<uint32_t> exit_code_;
};

} // namespace

PortableProcesses::PortableProcesses(const MachineRoot& machine) : machine_(machine) {}

std::unique_ptr<Process> PortableProcesses::start(TextView path, int /*show_command*/) {
    const std::optional<std::filesystem::path> host = machine_.to_host(path);
    if (!host) {
        throw VbError::runtime(vberr::kFileNotFound, kSource);
    }
    const std::string program = host->string();
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (rc == ENOENT || rc == ENOTDIR) {
        throw VbError::runtime(vberr::kFileNotFound, kSource);
    }
    if (rc != 0) {
        throw VbError::runtime(vberr::kInvalidProcedureCall, kSource);
    }
    return std::make_unique<PortableProcess>(pid);
}

} // namespace pelto::platform::portable
