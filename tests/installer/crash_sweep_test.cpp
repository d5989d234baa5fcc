// The run ended by force at every step: a run process is killed (SIGKILL) right after it
// logs its n-th line, for every n of a clean run's log. After each: the one-run lock is
// free once the programs it started have ended; every changed settings file is kept byte for
// byte and /RESTORE puts it back; no file is half written; no password was shown; and a
// fault-free run then ends as a clean run does.
#include "core/exit_status.h"
#include "installer/run.h"
#include "platform/portable/dos_attributes.h"
#include "platform/portable/machine_portable.h"
#include "platform/portable/reg_file.h"
#include "platform/portable/run_log_file.h"
#include "tests/support/demo_machine.h"
#include "tests/support/recording.h"
#include "tests/support/scripted_terminal.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pelto {
namespace {

namespace fs = std::filesystem;
namespace attr = platform::attr;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The settings files of C:\Pelto_H\bin: bytes and the attributes a restore gives back.
std::map<std::string, std::string> settings_of(const fs::path& folder) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !entry.is_symlink() && name.ends_with("ini")) {
            const uint32_t a =
                platform::portable::dos::attributes(entry.path().c_str()).value_or(0);
            out[name] = read_bytes(entry.path()) + "|" +
                        std::to_string(a & (attr::kReadOnly | attr::kHidden | attr::kSystem));
        }
    }
    return out;
}

// A run log that ends its process, as a power cut or a killed task would, right after it
// has written its n-th line.
class KillingLog final : public platform::RunLog {
public:
    KillingLog(std::unique_ptr<platform::RunLog> log, size_t kill_after)
        : log_(std::move(log)), kill_after_(kill_after) {}
    void write(std::string_view line) override {
        log_->write(line);
        if (++lines_ == kill_after_) {
            ::kill(::getpid(), SIGKILL);
        }
    }
    size_t lines() const { return lines_; }

private:
    std::unique_ptr<platform::RunLog> log_;
    size_t kill_after_;
    size_t lines_ = 0;
};

installer::RunOptions options_for(const char* code) {
    installer::RunOptions options;
    if (code != nullptr) {
        options.code = from_utf8(code);
    } else {
        options.restore = Text();
    }
    options.silent = true;
    return options;
}

// One run in this process on the machine at `root`, its log the machine's own file; the
// number of lines it logged when `lines` is given.
int run_here(const fs::path& root, const char* code, size_t kill_after = 0,
             size_t* lines = nullptr) {
    ::setenv("PELTO_MACHINE_ROOT", root.c_str(), 1);
    testing::ScriptedTerminal terminal;
    const platform::portable::MachineRoot machine(root);
    auto log = std::make_unique<KillingLog>(platform::portable::FileRunLog::of_machine(machine),
                                            kill_after);
    KillingLog& counted = *log;
    platform::portable::PortableMachine services(
        machine, terminal, std::make_unique<testing::RecordingUserInterface>(), std::move(log));
    const int status = installer::run_program(services.platform(), options_for(code));
    if (lines != nullptr) {
        *lines = counted.lines();
    }
    return status;
}

// A run in a child process killed after its n-th log line, its output in `output`; true
// when it was killed (false: it ended before).
bool killed_run(const fs::path& root, const char* code, size_t n, const fs::path& output) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::_exit(run_here(root, code, n) & 0xFF);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Whether the machine's one-run lock can be taken, waiting a few seconds for programs a
// killed run started to end.
bool lock_becomes_free(const fs::path& root) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        const int fd = ::open((root / "log/PeltoUserInstall_H.lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return true; // no lock file: nothing holds it
        }
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        if (free) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

class CrashSweep : public ::testing::TestWithParam<const char*> {
protected:
    fs::path fresh_copy() {
        const fs::path copy =
            demo_.root().parent_path() / (demo_.root().filename().string() + "-k");
        fs::remove_all(copy);
        fs::copy(demo_.root(), copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return copy;
    }
    // Whether some dated folder below 보관 keeps `name` as `kept`.
    static bool kept(const fs::path& root, const std::string& name, const std::string& file) {
        std::error_code ec;
        for (const auto& set : fs::directory_iterator(root / "drive_c/펠토사용자설치/보관", ec)) {
            const auto in = settings_of(set.path());
            if (const auto it = in.find(name); it != in.end() && it->second == file) {
                return true;
            }
        }
        return false;
    }
    void check(const fs::path& root, size_t n, const fs::path& output);

    testing::DemoMachine demo_{std::string("crash-") + GetParam(), testing::scratch_folder()};
    std::map<std::string, std::string> before_;
    std::map<std::string, std::string> clean_settings_;
    std::string template_;
    int clean_status_ = -1;
};

void CrashSweep::check(const fs::path& root, size_t n, const fs::path& output) {
    const std::string at = "killed after log line " + std::to_string(n);
    EXPECT_TRUE(lock_becomes_free(root)) << at << ": the one-run lock stays held";
    const std::string shown = read_bytes(output) + read_bytes(root / "log/PeltoUserInstall_H.log");
    for (const char* password : {"Clinic#2024", "not-the-password", "$63TirMox47@$"}) {
        EXPECT_EQ(shown.find(password), std::string::npos) << at << ": a password shown";
    }
    EXPECT_EQ(platform::portable::reg::parse(read_bytes(root / "registry/HKEY_LOCAL_MACHINE.reg"))
                  .index(),
              0U)
        << at << ": the registry store does not parse";
    // Every settings file is whole, and what changed is kept and comes back.
    const auto now = settings_of(root / "drive_c/Pelto_H/bin");
    bool changed = false;
    for (const auto& [name, file] : before_) {
        const auto it = now.find(name);
        if (it == now.end() || it->second != file) {
            changed = true;
            EXPECT_TRUE(kept(root, name, file)) << at << ": " << name << " changed and is not kept";
        }
    }
    for (const auto& [name, file] : now) {
        const auto old = before_.find(name);
        const auto done = clean_settings_.find(name);
        EXPECT_TRUE((old != before_.end() && old->second == file) ||
                    (done != clean_settings_.end() && done->second == file) ||
                    file == template_) // the template as copied, before its keys
            << at << ": " << name << " is neither its old nor a new whole file";
    }
    if (changed) {
        run_here(root, nullptr);
        const auto restored = settings_of(root / "drive_c/Pelto_H/bin");
        for (const auto& [name, file] : before_) {
            const auto it = restored.find(name);
            EXPECT_TRUE(it != restored.end() && it->second == file)
                << at << ": /RESTORE did not put " << name << " back";
        }
    }
    EXPECT_EQ(run_here(root, GetParam()), clean_status_) << at << ": the next run";
    EXPECT_EQ(settings_of(root / "drive_c/Pelto_H/bin"), clean_settings_)
        << at << ": the next run's settings";
}

TEST_P(CrashSweep, EndingTheRunAtAnyStepLosesNothingAndLeavesTheMachineFree) {
    before_ = settings_of(demo_.root() / "drive_c/Pelto_H/bin");
    template_ = settings_of(demo_.root() / "unc/UPDATESRV/pelto").at("Pelto.ini");
    size_t lines = 0;
    {
        const fs::path root = fresh_copy();
        clean_status_ = run_here(root, GetParam(), 0, &lines);
        clean_settings_ = settings_of(root / "drive_c/Pelto_H/bin");
    }
    ASSERT_GT(lines, 10U);
    const fs::path output =
        demo_.root().parent_path() / (demo_.root().filename().string() + ".out");
    size_t killed = 0;
    for (size_t n = 1; n <= lines && !HasFailure(); ++n) {
        const fs::path root = fresh_copy();
        if (!killed_run(root, GetParam(), n, output)) {
            ADD_FAILURE() << "the run logged fewer than " << n << " lines";
            break;
        }
        ++killed;
        check(root, n, output);
    }
    std::cout << "crash sweep of code " << GetParam() << ": killed at each of " << killed
              << " log lines\n";
    fs::remove(output);
    if (HasFailure()) {
        demo_.keep();
    } else {
        fs::remove_all(fresh_copy());
    }
}

INSTANTIATE_TEST_SUITE_P(DemoCodes, CrashSweep, ::testing::Values("11111111", "33333333"));

} // namespace
} // namespace pelto
