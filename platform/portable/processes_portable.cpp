// Programs of the mapped machine, started by their Windows path with posix_spawn and
// waited for with waitpid: the run sleeps in the kernel while the program runs.
#include "platform/portable/processes_portable.h"

#include "core/error.h"
#include "platform/portable/host_failure.h"
#include "platform/portable/host_files.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ; // NOLINT: POSIX declares it nowhere else

namespace pelto::platform::portable {

namespace {

constexpr TextView kSource = u"PeltoUserInstall_H";

// The processes of group `group` still running, from /proc: "PID (NAME) STATE PPID
// PGRP ...", where NAME may itself hold blanks and parentheses.
std::vector<LeftRunning> processes_in_group(pid_t group) {
    std::vector<LeftRunning> left;
    // Processes come and go while /proc is read: a read error ends the list, it never
    // reaches the wait.
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc", error), last; !error && it != last;
         it.increment(error)) {
        const std::filesystem::directory_entry& entry = *it;
        const std::string pid_text = entry.path().filename().string();
        pid_t pid = 0;
        const auto [end, parsed] =
            std::from_chars(pid_text.data(), pid_text.data() + pid_text.size(), pid);
        if (parsed != std::errc() || end != pid_text.data() + pid_text.size()) {
            continue;
        }
        std::ifstream stat_file(entry.path() / "stat");
        std::string stat;
        std::getline(stat_file, stat);
        const size_t open = stat.find('(');
        const size_t close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        pid_t process_group = 0;
        // A zombie has ended; it only waits for its parent to collect it.
        if (rest >> state >> parent >> process_group && process_group == group && state != "Z") {
            left.push_back(
                LeftRunning{static_cast<uint32_t>(pid), stat.substr(open + 1, close - open - 1)});
        }
    }
    return left;
}

// The started program has a process group of its own, so at a terminal it would be a
// background job: reading its input would stop it and the run would wait for ever, and
// Ctrl-C would not reach it. While the run waits, the program's group holds the terminal,
// as a shell gives it to a job it runs in the foreground; the run takes it back after.
class TerminalHandover {
public:
    TerminalHandover(Terminal& terminal, pid_t group) : terminal_(terminal) {
        if (terminal_.foreground_group() != std::optional<pid_t>(::getpgrp())) {
            return; // no terminal, or not ours to give
        }
        owned_ = true;
        terminal_.set_foreground_group(group);
    }
    TerminalHandover(const TerminalHandover&) = delete;
    TerminalHandover& operator=(const TerminalHandover&) = delete;
    ~TerminalHandover() {
        if (owned_) {
            terminal_.set_foreground_group(::getpgrp());
        }
    }

    // A program that read before it had the terminal was stopped for it: give it the
    // terminal (again) and let it go on. False when there is no terminal to give.
    bool resume(pid_t group) const {
        if (!owned_) {
            return false;
        }
        terminal_.set_foreground_group(group);
        return ::kill(-group, SIGCONT) == 0;
    }

private:
    Terminal& terminal_;
    bool owned_ = false;
};

class PortableProcess final : public Process {
public:
    PortableProcess(RunLog& log, Terminal& terminal, std::string program, pid_t pid)
        : log_(log), terminal_(terminal), program_(std::move(program)), pid_(pid) {}
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
        {
            const TerminalHandover terminal(terminal_, pid_);
            for (;;) {
                rc = waitpid(pid_, &status, WUNTRACED);
                if (rc < 0 && errno == EINTR) {
                    continue;
                }
                if (rc > 0 && WIFSTOPPED(status)) {
                    // Stopped for the terminal, it gets it and goes on; stopped by anyone
                    // else, it may be continued by them: either way the wait goes on.
                    if (WSTOPSIG(status) == SIGTTIN || WSTOPSIG(status) == SIGTTOU) {
                        (void)terminal.resume(pid_);
                    }
                    continue;
                }
                break;
            }
        }
        reaped_ = true;
        if (rc < 0) {
            exit_code_.reset(); // cannot be waited for: the wait ends at once
        } else if (WIFEXITED(status)) {
            exit_code_ = static_cast<uint32_t>(WEXITSTATUS(status));
        } else if (WIFSIGNALED(status)) {
            // The shell's convention for a program ended by a signal.
            exit_code_ = 128U + static_cast<uint32_t>(WTERMSIG(status));
        }
        if (rc > 0) {
            report_left_processes();
        }
        return exit_code_;
    }

private:
    // The group keeps the program's id as long as one of its members runs, so the id
    // cannot have been given to an unrelated process.
    void report_left_processes() {
        const std::vector<LeftRunning> left = processes_in_group(pid_);
        if (left.empty()) {
            return;
        }
        log_.write(left_running_line(program_, left));
    }

    RunLog& log_;
    Terminal& terminal_;
    std::string program_;
    pid_t pid_;
    bool reaped_ = false;
    std::optional<uint32_t> exit_code_;
};

} // namespace

PortableProcesses::PortableProcesses(const MachineRoot& machine, RunLog& log, Terminal& terminal,
                                     const HeldRunClaim& claim)
    : machine_(machine), log_(log), terminal_(terminal), claim_(claim) {}

std::unique_ptr<Process> PortableProcesses::start(TextView path, int /*show_command*/,
                                                  TextView working_folder) {
    const std::optional<std::filesystem::path> host = machine_.to_host(path);
    if (!host) {
        throw VbError::runtime(vberr::kFileNotFound, kSource);
    }
    // Checked here, where a missing folder can be told from a missing program (the
    // spawn's chdir would give the same ENOENT as a missing program).
    const std::optional<std::filesystem::path> folder = machine_.to_host(working_folder);
    std::error_code error;
    if (!folder || !std::filesystem::is_directory(*folder, error)) {
        log_os_failure(log_, errno_failure(ENOTDIR, "chdir", working_folder,
                                           folder.value_or(std::filesystem::path())));
        throw VbError::runtime(vberr::kInvalidProcedureCall, kSource);
    }
    const std::string program = host->string();
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    // A process group of its own (its id is the program's), to find what it leaves.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder->c_str());
    if (claim_.lock.valid()) {
        // Onto itself: the child's copy loses close-on-exec (POSIX; glibc since 2.29), so
        // the program and what it starts hold the claim while they run.
        posix_spawn_file_actions_adddup2(&actions, claim_.lock.get(), claim_.lock.get());
    }
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        log_os_failure(log_, errno_failure(rc, "posix_spawn", path, *host));
    }
    if (rc == ENOENT || rc == ENOTDIR) {
        throw VbError::runtime(vberr::kFileNotFound, kSource);
    }
    if (rc != 0) {
        throw VbError::runtime(vberr::kInvalidProcedureCall, kSource);
    }
    return std::make_unique<PortableProcess>(log_, terminal_, to_utf8(path), pid);
}

std::optional<std::string> PortableProcesses::cannot_start(TextView path) {
    const std::optional<std::filesystem::path> host = machine_.to_host(path);
    if (!host) {
        return "not a path on this machine";
    }
    if (::access(host->c_str(), X_OK) != 0) {
        return errno_text(errno);
    }
    std::string head(256, '\0');
    {
        std::ifstream file(*host, std::ios::binary);
        file.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<size_t>(file.gcount()));
    }
    if (head.rfind("\x7f"
                   "ELF",
                   0) == 0) {
        return std::nullopt;
    }
    if (head.rfind("#!", 0) != 0) {
        return "neither a program of this system nor a script";
    }
    const size_t start = head.find_first_not_of(" \t", 2);
    const size_t end = head.find_first_of(" \t\r\n", start);
    const std::string interpreter =
        start == std::string::npos ? std::string() : head.substr(start, end - start);
    if (interpreter.empty() || ::access(interpreter.c_str(), X_OK) != 0) {
        return "its interpreter '" + interpreter + "' cannot be run";
    }
    return std::nullopt;
}

} // namespace pelto::platform::portable
