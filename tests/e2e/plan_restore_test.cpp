// /PLAN and /RESTORE of the real program on demo machines. A plan leaves the machine as it
// was, byte for byte, and names everything the run then really changes; a restore after a
// run brings back the old settings files, and a second one the run's.
#include "core/exit_status.h"
#include "tests/e2e/run_program.h"
#include "tests/support/demo_machine.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/xattr.h>
#include <unistd.h>

namespace pelto::e2e {
namespace {

namespace fs = std::filesystem;
using testing::DemoMachine;

Outcome run_on(const DemoMachine& m, const std::vector<std::string>& arguments) {
    return run(testing::kProgram, "", {{"PELTO_MACHINE_ROOT", m.root().string()}}, 120, arguments);
}

// The machine without its run log, which the plan writes to.
std::map<std::string, std::string> without_log(const DemoMachine& m) {
    std::map<std::string, std::string> all = m.snapshot();
    std::erase_if(all, [&m](const auto& item) {
        return fs::path(item.first).lexically_relative(m.root()).begin()->string() == "log";
    });
    return all;
}

// Dated folders differ by the second they were made in.
std::string undated(const std::string& text) {
    static const std::regex stamp("[0-9]{8}-[0-9]{6}(-[0-9]+)?");
    return std::regex_replace(text, stamp, "<stamp>");
}

// C:\a\b for the host path of drive_c/a/b.
std::string windows_path(const DemoMachine& m, const std::string& host) {
    std::string relative = fs::path(host).lexically_relative(m.root() / "drive_c").string();
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return "C:\\" + relative;
}

// What the suite's demo installer and updater make themselves: no plan can name it.
bool made_by_the_installer(const std::string& windows) {
    for (const char* own : {"C:\\Pelto_H\\bin\\Pelto_H.exe", "C:\\Pelto_H\\bin\\install.done",
                            "C:\\Pelto_H\\bin\\update.done", "C:\\Pelto_H\\Resource"}) {
        if (windows.starts_with(own)) {
            return true;
        }
    }
    return false;
}

TEST(Plan, APlanChangesNothingAndNamesWhatTheRunThenDoes) {
    for (const std::string code :
         {"11111111", "22222222", "33333333", "44444444", "77777777", " 66666666 ", "12'34",
          "88888888", "90000001", "90000002", "90000003", "90000004", "99999999"}) {
        SCOPED_TRACE("code '" + code + "'");
        DemoMachine m("plan-" + std::to_string(std::hash<std::string>{}(code)));
        const auto before = without_log(m);
        const std::string registry_before = m.registry();
        const Outcome plan = run_on(m, {"/PLAN", "/CODE=" + code, "/SILENT"});
        EXPECT_EQ(without_log(m), before);
        EXPECT_TRUE(m.log().find("a plan is made") != std::string::npos);
        const std::string planned = undated(plan.out);
        EXPECT_TRUE(planned.find("would end with exit status " +
                                 std::to_string(plan.exit_status)) != std::string::npos)
            << plan.out;

        const Outcome real = run_on(m, {"/CODE=" + code, "/SILENT"});
        EXPECT_EQ(plan.exit_status, real.exit_status) << plan.out << real.out;
        const auto after = without_log(m);
        size_t resource_files = 0;
        for (const auto& [host, state] : before) {
            const std::string windows = windows_path(m, host);
            if (host.find("/drive_c/") == std::string::npos) {
                continue;
            }
            const bool file = !state.ends_with("<not a file>");
            if (windows.starts_with("C:\\Pelto_H\\Resource\\") && file) {
                ++resource_files;
            }
            const auto now = after.find(host);
            if ((now == after.end() || now->second != state) && file &&
                !made_by_the_installer(windows)) {
                EXPECT_TRUE(planned.find(undated(windows)) != std::string::npos)
                    << windows << " changed or went, and the plan does not say so\n"
                    << plan.out;
            }
        }
        for (const auto& [host, state] : after) {
            const std::string windows = windows_path(m, host);
            if (!before.count(host) && !state.ends_with("<not a file>") &&
                host.find("/drive_c/") != std::string::npos && !made_by_the_installer(windows)) {
                EXPECT_TRUE(planned.find(undated(windows)) != std::string::npos)
                    << windows << " is new, and the plan does not say so\n"
                    << plan.out;
            }
        }
        if (m.log().find("step 9: resource folder removal: True") != std::string::npos) {
            EXPECT_TRUE(planned.find("C:\\Pelto_H\\Resource with everything in it: " +
                                     std::to_string(resource_files) + " file(s)") !=
                        std::string::npos)
                << plan.out;
        }
        // Every registry value the run wrote, with what it holds now.
        if (m.registry() != registry_before) {
            std::istringstream lines(m.registry());
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                if (line.starts_with("\"") && registry_before.find(line) == std::string::npos) {
                    const std::string name = line.substr(1, line.find('"', 1) - 1);
                    EXPECT_TRUE(planned.find(name + ": ") != std::string::npos)
                        << name << " was written, and the plan does not say so\n"
                        << plan.out;
                }
            }
        }
        if (HasFailure()) {
            m.keep();
            return;
        }
    }
}

// The plan against the real run over machine states that end a run in each of its ways:
// the plan ends with the run's exit status, or, where the programs' own exit codes decide,
// says which codes it assumed; it prints each fault the run would end with.
TEST(Plan, ThePlanTellsTheEndTheRunComesTo) {
    struct State {
        const char* what;
        std::function<void(const DemoMachine&)> make;
        std::map<std::string, std::optional<std::string>> env;
        int planned;    // the plan's exit status
        int real;       // the run's
        const char* in; // a line the plan must hold
    };
    const fs::path share = "unc/UPDATESRV/pelto";
    const std::vector<State> states = {
        {"a clean machine", [](const DemoMachine&) {}, {}, 0, 0, "would end with exit status 0"},
        {"an installer that ends with 1603",
         [](const DemoMachine&) {},
         {{"PELTO_DEMO_INSTALLER_EXIT", "1603"}},
         0,
         exit_status::kCompletedWithFaults,
         "assuming the installer and the updater each end with exit code 0"},
        {"an installer that asks for a restart (3010, low byte 194)",
         [](const DemoMachine&) {},
         {{"PELTO_DEMO_INSTALLER_EXIT", "194"}},
         0,
         194,
         "3010 or 1641 is passed on"},
        {"an installer that cannot start",
         [&](const DemoMachine& m) {
             fs::permissions(m.root() / share / "installpelto_H.exe", fs::perms(0644));
         },
         {},
         exit_status::kUnhandledError,
         exit_status::kUnhandledError,
         "cannot be started"},
        {"a template missing on the update path",
         [&](const DemoMachine& m) { fs::remove(m.root() / share / "Pelto.ini"); },
         {},
         exit_status::kCompletedWithFaults,
         exit_status::kCompletedWithFaults,
         "fault: the settings-file template"},
        {"a code with a NULL column (the update path never looked at)",
         [](const DemoMachine&) {},
         {{"PELTO_TEST_CODE", "90000003"}},
         exit_status::kUnhandledError,
         exit_status::kUnhandledError,
         "not looked at"},
        {"an updater missing on the update path",
         [](const DemoMachine&) {},
         {{"PELTO_TEST_CODE", "90000002"}},
         exit_status::kUpdaterMissing,
         exit_status::kUpdaterMissing,
         "nothing would be removed"},
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.what);
        DemoMachine m("plan-state-" + std::to_string(std::hash<std::string>{}(state.what)));
        state.make(m);
        std::string code = "11111111";
        std::map<std::string, std::optional<std::string>> env = state.env;
        if (const auto it = env.find("PELTO_TEST_CODE"); it != env.end()) {
            code = *it->second;
            env.erase(it);
        }
        env["PELTO_MACHINE_ROOT"] = m.root().string();
        const auto before = without_log(m);
        const Outcome plan =
            run(testing::kProgram, "", env, 120, {"/PLAN", "/CODE=" + code, "/SILENT"});
        EXPECT_EQ(without_log(m), before);
        EXPECT_EQ(plan.exit_status, state.planned) << plan.out;
        EXPECT_NE(plan.out.find(state.in), std::string::npos) << plan.out;
        const Outcome real = run(testing::kProgram, "", env, 120, {"/CODE=" + code, "/SILENT"});
        EXPECT_EQ(real.exit_status, state.real) << real.out << real.err;
        if (HasFailure()) {
            m.keep();
            return;
        }
    }
}

// A restore keeps every file it replaces whatever its attributes, reads only sets this
// program made that hold files and are not dated in the future, and never prunes the set
// it reads; a plan of it names its source and every kept set.
TEST(Restore, OnlyWholeSetsOfThisProgramsComeBackAndNothingIsLost) {
    DemoMachine m("restore-table");
    ASSERT_EQ(run_on(m, {"/CODE=11111111", "/SILENT"}).exit_status, exit_status::kCompleted);
    const fs::path kept = m.c("펠토사용자설치/보관");
    std::vector<fs::path> sets;
    for (const auto& set : fs::directory_iterator(kept)) {
        sets.push_back(set.path());
    }
    ASSERT_EQ(sets.size(), 1U);
    const std::string old_settings = read_file(sets[0] / "Pelto.ini");
    // Today's Print.ini is read-only and hidden: replaced, it must be kept first.
    std::ofstream(m.c("Pelto_H/bin/Print.ini"), std::ios::binary) << "[Print]\r\nPrinter=today\r\n";
    ::lsetxattr(m.c("Pelto_H/bin/Print.ini").c_str(), "user.DOSATTRIB", "0x2", 3, 0);
    fs::permissions(m.c("Pelto_H/bin/Print.ini"), fs::perms(0444));
    // Newer sets: an empty one, one another user made (same second, higher suffixes), and
    // one dated in the future.
    const std::string stamp = sets[0].filename().string();
    const fs::path empty = kept / (stamp + "-9");
    const fs::path foreign = kept / (stamp + "-8");
    fs::create_directories(empty);
    fs::create_directories(kept / "29991231-235959");
    std::ofstream(kept / "29991231-235959" / "Pelto.ini") << "server_name=future";
    fs::create_directories(foreign);
    std::ofstream(foreign / "Pelto.ini") << "server_name=attacker-host";
    if (::geteuid() != 0 || ::chown(foreign.c_str(), 65534, 65534) != 0) {
        fs::remove_all(foreign); // only root can give a folder away
    }

    const Outcome plan = run_on(m, {"/RESTORE", "/PLAN", "/SILENT"});
    EXPECT_EQ(plan.exit_status, exit_status::kCompleted) << plan.out;
    EXPECT_NE(
        plan.out.find("[복원 원본 / Restored from]\n  C:\\펠토사용자설치\\보관\\" + stamp + "\n"),
        std::string::npos)
        << plan.out;
    EXPECT_NE(plan.out.find(stamp + "-9: no file; passed over: it holds no file"),
              std::string::npos)
        << plan.out;
    EXPECT_NE(
        plan.out.find("29991231-235959: Pelto.ini (18 bytes); passed over: it is dated later"),
        std::string::npos)
        << plan.out;

    const Outcome restored = run_on(m, {"/RESTORE", "/SILENT"});
    EXPECT_EQ(restored.exit_status, exit_status::kCompleted) << restored.out << restored.err;
    EXPECT_EQ(m.settings(), old_settings);
    EXPECT_EQ(m.settings().find("attacker-host"), std::string::npos);
    // Today's read-only, hidden Print.ini went into a new set with its attributes.
    bool today_kept = false;
    for (const auto& set : fs::directory_iterator(kept)) {
        if (read_file(set.path() / "Print.ini") == "[Print]\r\nPrinter=today\r\n") {
            char attributes[16] = {};
            const ssize_t n = ::lgetxattr((set.path() / "Print.ini").c_str(), "user.DOSATTRIB",
                                          attributes, sizeof attributes);
            today_kept = n > 0 && std::string(attributes, static_cast<size_t>(n)) == "0x2" &&
                         (fs::status(set.path() / "Print.ini").permissions() &
                          fs::perms::owner_write) == fs::perms::none;
        }
    }
    EXPECT_TRUE(today_kept);

    // The set named is read even when the backup just made pushed it past the newest five.
    for (int i = 1; i <= 6; ++i) {
        fs::create_directories(kept / ("2026010" + std::to_string(i) + "-000000"));
        std::ofstream(kept / ("2026010" + std::to_string(i) + "-000000") / "Pelto.ini") << i;
    }
    const std::string first = "20260101-000000";
    EXPECT_EQ(run_on(m, {"/RESTORE=" + first, "/SILENT"}).exit_status, exit_status::kCompleted);
    EXPECT_TRUE(fs::exists(kept / first));
    EXPECT_EQ(m.settings(), "1");
    if (HasFailure()) {
        m.keep();
    }
}

TEST(Restore, PutsBackTheOldSettingsAndASecondRestoreTheRuns) {
    DemoMachine m("restore");
    EXPECT_EQ(run_on(m, {"/RESTORE", "/SILENT"}).exit_status, exit_status::kNothingToRestore);
    const std::string old_settings = m.settings();
    const std::string old_print = read_file(m.c("Pelto_H/bin/Print.ini"));
    ASSERT_EQ(run_on(m, {"/CODE=11111111", "/SILENT"}).exit_status, exit_status::kCompleted);
    const std::string run_settings = m.settings();
    ASSERT_NE(run_settings, old_settings);
    ASSERT_FALSE(fs::exists(m.c("Pelto_H/bin/Print.ini")));

    // A plan of the restore changes nothing; an unknown folder is nothing to restore.
    const auto before = without_log(m);
    const Outcome plan = run_on(m, {"/RESTORE", "/PLAN", "/SILENT"});
    EXPECT_EQ(plan.exit_status, exit_status::kCompleted) << plan.out;
    EXPECT_TRUE(plan.out.find("C:\\Pelto_H\\bin\\Pelto.ini") != std::string::npos) << plan.out;
    EXPECT_EQ(run_on(m, {"/RESTORE=20000101-000000", "/SILENT"}).exit_status,
              exit_status::kNothingToRestore);
    EXPECT_EQ(without_log(m), before);

    EXPECT_EQ(run_on(m, {"/RESTORE", "/SILENT"}).exit_status, exit_status::kCompleted);
    EXPECT_EQ(m.settings(), old_settings);
    EXPECT_EQ(read_file(m.c("Pelto_H/bin/Print.ini")), old_print);
    EXPECT_TRUE(m.log().find("registry and policy values are not restored") != std::string::npos);

    EXPECT_EQ(run_on(m, {"/RESTORE", "/SILENT"}).exit_status, exit_status::kCompleted);
    EXPECT_EQ(m.settings(), run_settings);
    if (HasFailure()) {
        m.keep();
    }
}

} // namespace
} // namespace pelto::e2e
