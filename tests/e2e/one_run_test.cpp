// The machine's one run, end to end with the real program: the programs a run started keep
// every other run out after the run itself was killed, a plan claims nothing, and the lock
// is never taken from something that is not the run's own: a link, a second name, another
// user's file or folder are moved aside, never obeyed, and runs still never overlap.
#include "core/exit_status.h"
#include "tests/e2e/run_program.h"
#include "tests/support/demo_machine.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pelto::e2e {
namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::optional<std::string>>;

const std::vector<std::string> kSilentRun = {"/SILENT", "/CODE=11111111"};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether the process has ended (gone, or a zombie nobody collects).
bool process_ended(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const size_t close = line.rfind(')');
    return close == std::string::npos || line.compare(close, 3, ") Z") == 0;
}

// Polls `done` until it holds: a guard against waiting for ever, not a measure of time.
bool eventually(const std::function<bool()>& done, int limit_seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A file descriptor of the test's own, closed on exec so that no run it starts holds it.
struct TestFd {
    explicit TestFd(int fd) : fd(fd) {}
    ~TestFd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    TestFd(const TestFd&) = delete;
    TestFd& operator=(const TestFd&) = delete;
    int fd;
};

class OneRun : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) {
            machine_.keep();
        }
    }

    // The run's environment; the demo installer takes `installer_seconds`.
    Env env(int installer_seconds = 0) const {
        return {{"PELTO_MACHINE_ROOT", root_.string()},
                {"PELTO_DEMO_INSTALLER_SECONDS", std::to_string(installer_seconds)},
                {"PELTO_DEMO_INSTALLER_EXIT", std::nullopt}};
    }
    Outcome run_silent() const { return run(testing::kProgram, "", env(), 120, kSilentRun); }

    // Waits until the run log names an installer started after `earlier` such lines; its
    // process id, 0 when none came.
    int installer_started(size_t earlier = 0) const {
        static const std::regex started("installer started, process ([0-9]+); waiting for it");
        int pid = 0;
        eventually([&] {
            const std::string log = machine_.log();
            size_t seen = 0;
            for (std::sregex_iterator it(log.begin(), log.end(), started), end; it != end; ++it) {
                if (++seen > earlier) {
                    pid = std::stoi((*it)[1].str());
                }
            }
            return pid != 0;
        });
        return pid;
    }

    // A run under way (its installer at work) and a second run at the same time: the second
    // ends with 23 while the first goes on to its end, completing.
    void expect_runs_never_overlap(const std::string& planted) {
        SCOPED_TRACE(planted);
        // The installers of earlier runs on this machine are already in its log.
        const std::string log = machine_.log();
        size_t earlier = 0;
        for (size_t at = log.find("installer started, process"); at != std::string::npos;
             at = log.find("installer started, process", at + 1)) {
            ++earlier;
        }
        BackgroundRun first(testing::kProgram, env(3), kSilentRun);
        const int installer = installer_started(earlier);
        ASSERT_NE(installer, 0) << machine_.log();
        const Outcome second = run_silent();
        EXPECT_EQ(second.exit_status, exit_status::kAnotherRunUnderWay) << second.err;
        const Outcome done = first.wait();
        EXPECT_EQ(done.exit_status, exit_status::kCompleted) << done.out << done.err;
        EXPECT_TRUE(has(machine_.log(), "moved aside, never used")) << machine_.log();
    }

    // The entries of `folder` whose names start with `prefix` and go on with a stamp.
    static std::vector<fs::path> moved_aside(const fs::path& folder, const std::string& prefix) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > prefix.size() + 1 && name.rfind(prefix + ".", 0) == 0) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    testing::DemoMachine machine_{std::string("one-run-") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const fs::path& root_ = machine_.root();
    const fs::path lock_ = root_ / "log" / "PeltoUserInstall_H.lock";
};

TEST_F(OneRun, AKilledRunsInstallerKeepsEveryOtherRunOutUntilItHasEnded) {
    BackgroundRun first(testing::kProgram, env(6), kSilentRun);
    const int installer = installer_started();
    ASSERT_NE(installer, 0) << machine_.log();

    // The first run is under way: a second run names it, and itself.
    const Outcome second = run_silent();
    EXPECT_EQ(second.exit_status, exit_status::kAnotherRunUnderWay) << second.err;
    EXPECT_TRUE(has(machine_.log(), "run ended (exit status 23): another run (process " +
                                        std::to_string(first.pid()) +
                                        ") is under way on this machine; this run (process " +
                                        std::to_string(second.pid) + ") touched nothing"))
        << machine_.log();

    // The first run is killed while its installer works: the installer keeps the claim.
    first.kill();
    ASSERT_FALSE(process_ended(installer));
    const Outcome third = run_silent();
    EXPECT_EQ(third.exit_status, exit_status::kAnotherRunUnderWay) << third.err;
    EXPECT_TRUE(has(machine_.log(), "run ended (exit status 23): a program that an earlier run "
                                    "(process " +
                                        std::to_string(first.pid()) +
                                        ") started is still running on this machine; this run "
                                        "(process " +
                                        std::to_string(third.pid) + ") touched nothing"))
        << machine_.log();
    EXPECT_FALSE(process_ended(installer))
        << "the installer ended before the third run was refused";

    // Once the installer has ended, a run goes ahead and completes.
    ASSERT_TRUE(eventually([&] { return process_ended(installer); }));
    const Outcome fourth = run_silent();
    EXPECT_EQ(fourth.exit_status, exit_status::kCompleted) << fourth.out << fourth.err;
}

TEST_F(OneRun, APlanClaimsNothingSoARunGoesOnWhileThePlanWaitsForItsCode) {
    BackgroundRun plan(testing::kProgram, env(), {"/PLAN"});
    ASSERT_TRUE(eventually([&] { return has(plan.out(), "요양기관기호를 입력해주세요.\n> "); }))
        << plan.out();
    const Outcome o = run_silent();
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    plan.type("11111111\n");
    const Outcome planned = plan.wait();
    EXPECT_EQ(planned.exit_status, exit_status::kCompleted) << planned.out << planned.err;
}

TEST_F(OneRun, ALinkOrASecondNameAtTheLocksNameIsMovedAsideNeverObeyed) {
    const fs::path victim = root_ / "victim.txt";
    const auto plant_victim = [&] {
        fs::remove(lock_);
        std::ofstream(victim, std::ios::trunc) << "victim";
        ::chmod(victim.c_str(), 0600);
    };
    fs::create_directories(lock_.parent_path());

    // A link: the run would have locked nothing, and two runs would overlap.
    plant_victim();
    fs::create_symlink(victim, lock_);
    expect_runs_never_overlap("a link to a file");
    EXPECT_EQ(e2e::read_file(victim), "victim");
    const std::vector<fs::path> links = moved_aside(lock_.parent_path(), "PeltoUserInstall_H.lock");
    ASSERT_EQ(links.size(), 1U);
    EXPECT_TRUE(fs::is_symlink(links[0]));

    // A second name of a file someone else holds locked: the run would have been blocked,
    // and would have written into that file.
    fs::remove(links[0]);
    plant_victim();
    ASSERT_EQ(::link(victim.c_str(), lock_.c_str()), 0);
    const TestFd holder(::open(victim.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.fd, LOCK_EX | LOCK_NB), 0);
    expect_runs_never_overlap("a hard link to a locked file");
    EXPECT_EQ(e2e::read_file(victim), "victim");
    EXPECT_EQ(moved_aside(lock_.parent_path(), "PeltoUserInstall_H.lock").size(), 1U);
}

TEST_F(OneRun, AnotherUsersLockFileOrLockFolderIsMovedAsideNeverObeyed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to plant files of another user (uid 65534)";
    }
    constexpr uid_t kNobody = 65534;
    const fs::path folder = lock_.parent_path();
    fs::create_directories(folder);

    // Another user's lock file, which that user holds locked: every run would be blocked.
    {
        const TestFd planted(::open(lock_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        ASSERT_GE(planted.fd, 0);
        ASSERT_EQ(::fchown(planted.fd, kNobody, kNobody), 0);
        ASSERT_EQ(::flock(planted.fd, LOCK_EX | LOCK_NB), 0);
        expect_runs_never_overlap("another user's lock file, locked");
        const std::vector<fs::path> aside = moved_aside(folder, "PeltoUserInstall_H.lock");
        ASSERT_EQ(aside.size(), 1U);
        struct stat kept {};
        ASSERT_EQ(::stat(aside[0].c_str(), &kept), 0);
        EXPECT_EQ(kept.st_uid, kNobody);
        EXPECT_EQ(kept.st_size, 0) << "the run wrote into another user's file";
    }

    // Another user's lock folder, holding that user's locked lock file.
    fs::rename(folder, root_ / "log-before");
    fs::create_directory(folder);
    const TestFd planted(::open(lock_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_GE(planted.fd, 0);
    ASSERT_EQ(::flock(planted.fd, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::fchown(planted.fd, kNobody, kNobody), 0);
    expect_runs_never_overlap("another user's lock folder");
    const std::vector<fs::path> folders = moved_aside(root_, "log");
    ASSERT_EQ(folders.size(), 1U);
    EXPECT_TRUE(fs::exists(folders[0] / "PeltoUserInstall_H.lock"));
    struct stat made {};
    ASSERT_EQ(::stat(folder.c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, ::geteuid());
    EXPECT_EQ(made.st_mode & 022, 0U);
}

TEST_F(OneRun, ALockFolderOthersMayWriteIsNarrowedSoTheLockCannotBeSwapped) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user (uid 65534)";
    }
    const fs::path folder = lock_.parent_path();
    fs::create_directories(folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    // Another user must reach the folder to try anything: the machine root lets them.
    ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);

    BackgroundRun first(testing::kProgram, env(3), kSilentRun);
    ASSERT_NE(installer_started(), 0) << machine_.log();
    // Another user swaps the held lock file for a fresh one, as a folder others may
    // write would let them.
    const pid_t swapper = ::fork();
    if (swapper == 0) {
        const bool swapped = ::setgid(65534) == 0 && ::setuid(65534) == 0 &&
                             ::rename(lock_.c_str(), (folder / "swapped").c_str()) == 0 &&
                             ::open(lock_.c_str(), O_RDWR | O_CREAT, 0666) >= 0;
        ::_exit(swapped ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(swapper, &status, 0), swapper);
    const Outcome second = run_silent();
    EXPECT_EQ(second.exit_status, exit_status::kAnotherRunUnderWay)
        << "swapped: " << (WIFEXITED(status) && WEXITSTATUS(status) == 0) << second.err;
    const Outcome done = first.wait();
    EXPECT_EQ(done.exit_status, exit_status::kCompleted) << done.err;
    struct stat narrowed {};
    ASSERT_EQ(::stat(folder.c_str(), &narrowed), 0);
    EXPECT_EQ(narrowed.st_mode & 07777, 0755U);
}

} // namespace
} // namespace pelto::e2e
