#include "tests/e2e/run_program.h"

#include "core/text.h"
#include "platform/codepage.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ; // NOLINT: POSIX declares it nowhere else

namespace pelto::e2e {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

std::vector<std::string> environment(const std::map<std::string, std::optional<std::string>>& env) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) {
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    for (const auto& [name, value] : env) {
        if (value) {
            vars[name] = *value;
        } else {
            vars.erase(name);
        }
    }
    std::vector<std::string> out;
    out.reserve(vars.size());
    for (const auto& [name, value] : vars) {
        out.push_back(name);
        out.back().append("=").append(value);
    }
    return out;
}

// A file of the test's own for one stream of the program, gone from the folder at once.
int stream_file(const char* kind) {
    std::string name = std::string("/tmp/pelto-e2e-") + kind + "-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(name.c_str());
    }
    return fd;
}

// Starts `program` with the three descriptors as its standard streams; 0 when it cannot
// be started (`why` says so).
pid_t spawn(const std::filesystem::path& program, int in, int out, int err,
            const std::map<std::string, std::optional<std::string>>& env,
            const std::vector<std::string>& arguments, std::string& why) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    std::vector<std::string> vars = environment(env);
    std::vector<char*> envp;
    envp.reserve(vars.size() + 1);
    for (std::string& v : vars) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    std::string arg0 = program.string();
    std::vector<std::string> args_copy = arguments;
    std::vector<char*> argv{arg0.data()};
    for (std::string& a : args_copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, arg0.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        why = "cannot start the program: " + std::to_string(rc);
        return 0;
    }
    return pid;
}

// Waits for `pid` to end: its exit status (128 + signal when a signal ended it). A guard
// against a run that never ends, not a measure of speed: after `limit_seconds` it is
// killed and the status is -1.
int wait_for(pid_t pid, int limit_seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string slurp(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    off_t at = 0;
    while ((n = ::pread(fd, buffer, sizeof buffer, at)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    return text;
}

} // namespace

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string cp949(const std::string& utf8) {
    return to_cp949(from_utf8(utf8));
}

Outcome run(const std::filesystem::path& program, const std::string& input,
            const std::map<std::string, std::optional<std::string>>& env, int limit_seconds,
            const std::vector<std::string>& arguments) {
    Outcome outcome;
    const Fd out(stream_file("out"));
    const Fd err(stream_file("err"));
    const Fd in(stream_file("in"));
    if (out.get() < 0 || err.get() < 0 || in.get() < 0) {
        return outcome;
    }
    // Standard input is a file, not a terminal: the program reads the typed code from it.
    if (::write(in.get(), input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
        ::lseek(in.get(), 0, SEEK_SET) != 0) {
        return outcome;
    }
    outcome.pid = spawn(program, in.get(), out.get(), err.get(), env, arguments, outcome.err);
    if (outcome.pid == 0) {
        return outcome;
    }
    outcome.exit_status = wait_for(outcome.pid, limit_seconds);
    outcome.out = slurp(out.get());
    outcome.err = slurp(err.get());
    if (outcome.exit_status == -1) {
        outcome.err += "the program did not end";
    }
    return outcome;
}

BackgroundRun::BackgroundRun(const std::filesystem::path& program,
                             const std::map<std::string, std::optional<std::string>>& env,
                             const std::vector<std::string>& arguments)
    : out_(stream_file("out")), err_(stream_file("err")) {
    int pipe_ends[2] = {-1, -1};
    if (out_ < 0 || err_ < 0 || ::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return;
    }
    input_ = pipe_ends[1];
    std::string why;
    pid_ = spawn(program, pipe_ends[0], out_, err_, env, arguments, why);
    ::close(pipe_ends[0]);
}

BackgroundRun::~BackgroundRun() {
    if (pid_ > 0 && !ended_) {
        kill();
    }
    for (const int fd : {input_, out_, err_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool BackgroundRun::type(const std::string& text) {
    return input_ >= 0 &&
           ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

std::string BackgroundRun::out() const {
    return out_ >= 0 ? slurp(out_) : std::string();
}

void BackgroundRun::kill() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ended_ = true;
    }
}

Outcome BackgroundRun::wait(int limit_seconds) {
    Outcome outcome;
    outcome.pid = pid_;
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
    if (pid_ <= 0 || ended_) {
        return outcome;
    }
    outcome.exit_status = wait_for(pid_, limit_seconds);
    ended_ = true;
    outcome.out = slurp(out_);
    outcome.err = slurp(err_);
    return outcome;
}

} // namespace pelto::e2e
