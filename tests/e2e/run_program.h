// Runs the real program, PeltoUserInstall_H, on a demo machine root that the test builds
// with scripts/make-demo-machine.sh, its standard input piped as a script gives it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pelto::e2e {

struct Outcome {
    int exit_status = -1;
    int pid = 0;     // the program's process id
    std::string out; // standard output: the dialogs
    std::string err; // standard error: notes of the terminal dialogs and the shell copy
};

// Runs `program` with `arguments`, `input` on its standard input and the environment of
// this process changed by `env` (a value of nullopt removes the variable). The program is
// killed and the outcome has exit status -1 when it has not ended after `limit_seconds`.
Outcome run(const std::filesystem::path& program, const std::string& input,
            const std::map<std::string, std::optional<std::string>>& env, int limit_seconds = 120,
            const std::vector<std::string>& arguments = {});

// The program running while the test goes on: its standard input a pipe the test holds
// open until wait(), its output kept in files. Killed when the object goes and it still
// runs.
class BackgroundRun {
public:
    BackgroundRun(const std::filesystem::path& program,
                  const std::map<std::string, std::optional<std::string>>& env,
                  const std::vector<std::string>& arguments);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    int pid() const { return pid_; }    // 0 when it could not be started
    bool type(const std::string& text); // onto its standard input
    std::string out() const;            // its standard output so far
    // Ends it with SIGKILL, as a person ending it in the task manager would, and collects
    // it; what it started goes on.
    void kill();
    // Closes its standard input and waits for its end, as run() does.
    Outcome wait(int limit_seconds = 120);

private:
    int pid_ = 0;
    int input_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool ended_ = false;
};

// A whole file's bytes ("" when it cannot be read).
std::string read_file(const std::filesystem::path& path);

// Text in code page 949 (the settings file's encoding), from UTF-8.
std::string cp949(const std::string& utf8);

} // namespace pelto::e2e
