// The fault sweep on the Windows services: the real run, in this process, on
// FaultPlatform wrapped around Win32Machine (every service as the program builds them),
// on the Wine prefix's own C:\Pelto_H, staging folder, update folder and HKLM, its k-th
// call failing, for every call a clean run makes in steps 9 to 18 and in what guards step 9
// (from the first call after the institution's row is read to the last before the
// institution server's test). The checks after each run are tests/support/fault_sweep.h's,
// the same as on Linux.
//
// Run by tests/win32/e2e_fault_sweep.sh, which prepares the machine as the end-to-end run
// does (the central database behind PELTO_ODBC_SERVER_MAP, the update folder with the
// stand-in installer and updater, the registry keys, an earlier installation) and names a
// folder of the sweep's in PELTO_FAULT_SWEEP_FOLDER (a Windows path): the run log goes
// there, and the clean run's log with the calls made at each line. Before every run the
// sweep puts back the machine it found (machine_copy.h).
#include "tests/support/fault_sweep.h"

#include "core/workstation.h"
#include "installer/run.h"
#include "platform/win32/machine_win32.h"
#include "platform/win32/wide.h"
#include "tests/support/fault_platform.h"
#include "tests/win32/machine_copy.h"
#include "tests/win32/win32_test_support.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <optional>
#include <tuple>

namespace pelto {
namespace {

using platform::win32::wide;
using testing::EndState;
using testing::RunOutcome;

const std::wstring kUpdateFolder = L"C:\\업데이트";
const std::wstring kAliasKey = L"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";
const std::wstring kPolicyKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// The calls to fail, when the command line names them: `--every-call` (every call of the
// clean run) or `--calls=FIRST-LAST` (those calls only, to replay what a sweep found).
bool g_every_call = false;
std::optional<std::pair<size_t, size_t>> g_calls;

std::wstring environment(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

// The run log passed through, each line noted with the calls the run had made by then.
class CountingLog final : public platform::RunLog {
public:
    explicit CountingLog(platform::RunLog& log) : log_(log) {}
    void count(const testing::FaultCounter& counter) { counter_ = &counter; }
    void write(std::string_view line) override {
        log_.write(line);
        lines_.emplace_back(counter_ ? counter_->calls() : 0, std::string(line));
    }
    const std::vector<std::pair<size_t, std::string>>& lines() const { return lines_; }

private:
    platform::RunLog& log_;
    const testing::FaultCounter* counter_ = nullptr;
    std::vector<std::pair<size_t, std::string>> lines_;
};

class WineSweepMachine final : public testing::SweepMachine {
public:
    explicit WineSweepMachine(const std::wstring& folder)
        : log_path_(folder + L"\\run.log"), server_map_(environment(L"PELTO_ODBC_SERVER_MAP")) {}

    void reset() override {
        suite_.put_back();
        staging_.put_back();
        update_.put_back();
        // Folders a run moved aside beside the staging folder.
        for (const std::wstring& aside : win32_test::folders_of(L"C:\\", staging_name() + L".*")) {
            win32_test::remove_tree(L"C:\\" + aside);
        }
        aliases_.put_back();
        policies_.put_back();
    }
    EndState end_state(int status) override {
        std::vector<std::string> values = win32_test::value_lines(kAliasKey);
        for (std::string& line : win32_test::value_lines(kPolicyKey)) {
            values.push_back(std::move(line));
        }
        return EndState{status, testing::registry_values(values),
                        win32_test::files_of(wide(workstation::kBinFolder)),
                        win32_test::files_of(wide(workstation::kStagingFolder))};
    }
    RunOutcome run(const installer::RunOptions& options, size_t fail_at) override;
    // The fault-free runs Wine failed a program's start in and that ran once more.
    size_t restarts() const { return restarts_; }
    std::vector<testing::Files> kept_sets() override {
        std::vector<testing::Files> out;
        const std::wstring kept = wide(workstation::kBackupFolder);
        for (const std::wstring& set : win32_test::folders_of(kept, L"*")) {
            out.push_back(win32_test::files_of(kept + L"\\" + set));
        }
        return out;
    }
    // The last run's log lines, each with the calls made by then.
    const std::vector<std::pair<size_t, std::string>>& lines() const { return lines_; }

private:
    RunOutcome run_once(const installer::RunOptions& options, size_t fail_at);
    static std::wstring staging_name() {
        const std::wstring path = wide(workstation::kStagingFolder);
        return path.substr(path.rfind(L'\\') + 1);
    }

    std::wstring log_path_;
    std::wstring server_map_;
    win32_test::TreeCopy suite_{wide(workstation::kSuiteFolder)};
    win32_test::TreeCopy staging_{wide(workstation::kStagingFolder)};
    win32_test::TreeCopy update_{kUpdateFolder};
    win32_test::KeyCopy aliases_{kAliasKey};
    win32_test::KeyCopy policies_{kPolicyKey};
    std::vector<std::pair<size_t, std::string>> lines_;
    size_t restarts_ = 0;
};

// Now and then Wine loses a process it starts before the process's first instruction:
// CreateProcessW then fails with ERROR_INTERNAL_ERROR (1359), the run tells so and ends with
// status 20, as it must. In a run that should have no fault, that is Wine's fault, not the
// run's: such a run runs once more, on the machine as it left it (the sweep's every
// fault-free run must end as a clean run does from there), and the sweep counts it.
bool wine_lost_a_start(const RunOutcome& outcome) {
    return outcome.end.status == 20 &&
           outcome.shown.find("CreateProcessW failed") != std::string::npos &&
           outcome.shown.find("(code 1359)") != std::string::npos;
}

RunOutcome WineSweepMachine::run(const installer::RunOptions& options, size_t fail_at) {
    RunOutcome out = run_once(options, fail_at);
    if (fail_at == 0 && wine_lost_a_start(out)) {
        ++restarts_;
        std::cerr << "Wine lost a program's start in a fault-free run; it runs once more\n";
        out = run_once(options, fail_at);
    }
    return out;
}

RunOutcome WineSweepMachine::run_once(const installer::RunOptions& options, size_t fail_at) {
    DeleteFileW(log_path_.c_str());
    RunOutcome out;
    int status = -1;
    {
        platform::win32::Win32Machine machine(
            log_path_, server_map_.empty()
                           ? std::nullopt
                           : std::optional<platform::win32::OdbcServerMap>(server_map_));
        CountingLog counting(machine.platform().log);
        platform::Platform logged = platform::with_services(machine.platform(), {.log = &counting});
        testing::FaultPlatform faults(logged, fail_at);
        counting.count(faults.counter());
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        status = installer::run_program(faults.platform(), options);
        out.shown =
            ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
        out.calls = faults.counter().calls();
        out.failed = faults.counter().failed();
        lines_ = counting.lines();
    } // the log is closed and the machine's one run let go
    out.shown += win32_test::read_bytes(log_path_).value_or("");
    out.end = end_state(status);
    return out;
}

// The calls of steps 9 to 18 in the clean run and of what guards step 9 (the update path's
// check, the staging folder, the kept settings files): from the first call after step 8's
// line to the last before step 19's.
std::pair<size_t, size_t> steps_9_to_18(const std::vector<std::pair<size_t, std::string>>& lines) {
    std::optional<size_t> first;
    std::optional<size_t> last;
    for (const auto& [calls, line] : lines) {
        if (!first && line.starts_with("step 8:")) {
            first = calls + 1;
        }
        if (line.starts_with("step 19")) {
            last = calls;
            break;
        }
    }
    return {first.value_or(0), last.value_or(0)};
}

TEST(WineFaultSweep, EveryCallOfSteps9To18FailingInTurnLosesNothingAndIsToldTruly) {
    const std::wstring folder = environment(L"PELTO_FAULT_SWEEP_FOLDER");
    ASSERT_FALSE(folder.empty()) << "PELTO_FAULT_SWEEP_FOLDER names no folder";
    const auto started = std::chrono::steady_clock::now();
    WineSweepMachine machine(folder);
    testing::SweepRules rules{
        .install = testing::silent_install("11111111"),
        .passwords = {"hosp!pw1", "other pw", "$63TirMox47@$"},
        .template_bytes = win32_test::read_bytes(kUpdateFolder + L"\\Pelto.ini").value_or(""),
        .suite_programs = {"Pelto_H.exe"}};
    const testing::SweepReference reference = testing::clean_reference(machine, rules);
    ASSERT_EQ(reference.clean.end.status, 0) << reference.clean.shown;
    ASSERT_TRUE(reference.clean.failed.empty());
    std::string counted;
    for (const auto& [calls, line] : machine.lines()) {
        counted += std::to_string(calls) + "\t" + line + "\n";
    }
    win32_test::write_bytes(folder + L"\\clean-run-calls.txt", counted);
    auto [first, last] = steps_9_to_18(machine.lines());
    if (g_every_call) {
        first = 1;
        last = reference.clean.calls;
    } else if (g_calls) {
        std::tie(first, last) = *g_calls;
    }
    ASSERT_TRUE(first >= 1 && first <= last && last <= reference.clean.calls)
        << "no calls to fail: calls " << first << " to " << last << " of " << reference.clean.calls
        << " (steps 9 to 18 not found in the clean run's log?)";
    const size_t swept = testing::sweep_calls(machine, rules, reference, first, last);
    machine.reset();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "fault sweep under Wine, code 11111111: calls " << first << " to " << last
              << " of " << reference.clean.calls << " failed in turn (" << swept << " runs), "
              << (HasFailure() ? "NOT all held" : "all held") << ", " << static_cast<int>(seconds)
              << " s; " << machine.restarts()
              << " fault-free run(s) run once more after Wine lost a start\n";
}

} // namespace
} // namespace pelto

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        unsigned long first = 0;
        unsigned long last = 0;
        if (argument == "--every-call") {
            pelto::g_every_call = true;
        } else if (std::sscanf(argument.c_str(), "--calls=%lu-%lu", &first, &last) == 2) {
            pelto::g_calls = std::pair<size_t, size_t>(first, last);
        }
    }
    return RUN_ALL_TESTS();
}
