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
    char out_name[] = "/tmp/pelto-e2e-out-XXXXXX";
    char err_name[] = "/tmp/pelto-e2e-err-XXXXXX";
    char in_name[] = "/tmp/pelto-e2e-in-XXXXXX";
    Fd out(::mkstemp(out_name));
    Fd err(::mkstemp(err_name));
    Fd in(::mkstemp(in_name));
    ::unlink(out_name);
    ::unlink(err_name);
    ::unlink(in_name);
    if (out.get() < 0 || err.get() < 0 || in.get() < 0) {
        return outcome;
    }
    // Standard input is a file, not a terminal: the program reads the typed code from it.
    if (::write(in.get(), input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
        ::lseek(in.get(), 0, SEEK_SET) != 0) {
        return outcome;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.get(), STDERR_FILENO);
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
        outcome.err = "cannot start the program: " + std::to_string(rc);
        return outcome;
    }

    // A guard against a run that never ends, not a measure of speed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return outcome;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            outcome.exit_status = -1;
            outcome.err = "the program did not end";
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    auto slurp = [](int fd) {
        std::string text;
        ::lseek(fd, 0, SEEK_SET);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    };
    outcome.out = slurp(out.get());
    outcome.err = slurp(err.get());
    return outcome;
}

} // namespace pelto::e2e
