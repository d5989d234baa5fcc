// /PLAN and /RESTORE of the real program on demo machines. A plan leaves the machine as it
// was, byte for byte, and names everything the run then really changes; a restore after a
// run brings back the old settings files, and a second one the run's.
#include "core/exit_status.h"
#include "tests/e2e/run_program.h"
#include "tests/support/demo_machine.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

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
