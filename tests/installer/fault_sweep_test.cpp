// The run under every failure it can meet: on a fresh demo machine, the k-th call the run
// makes to the platform fails the way it fails for real, for every k up to the number of
// calls a clean run makes. The checks after each run are tests/support/fault_sweep.h's;
// here the portable machine adds its own: the registry store still parses.
#include "installer/run.h"
#include "platform/portable/dos_attributes.h"
#include "platform/portable/machine_portable.h"
#include "platform/portable/reg_file.h"
#include "tests/support/demo_machine.h"
#include "tests/support/fault_platform.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/recording.h"
#include "tests/support/scripted_terminal.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace pelto {
namespace {

namespace fs = std::filesystem;
namespace attr = platform::attr;
using testing::EndState;
using testing::Files;
using testing::RunOutcome;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Files files_of(const fs::path& folder) {
    Files out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            const uint32_t a =
                platform::portable::dos::attributes(entry.path().c_str()).value_or(0);
            out[entry.path().filename().string()] = {
                read_bytes(entry.path()), a & (attr::kReadOnly | attr::kHidden | attr::kSystem)};
        }
    }
    return out;
}

// The lines of the registry store, line ends and all.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

// A fresh copy of the demo machine for every run that must start from it.
class DemoSweepMachine final : public testing::SweepMachine {
public:
    explicit DemoSweepMachine(const fs::path& demo)
        : demo_(demo), root_(demo.parent_path() / (demo.filename().string() + "-k")) {}

    void reset() override {
        fs::remove_all(root_);
        fs::copy(demo_, root_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    EndState end_state(int status) override {
        return EndState{status, testing::registry_values(lines_of(registry())),
                        files_of(root_ / "drive_c/Pelto_H/bin"),
                        files_of(root_ / "drive_c/펠토사용자설치")};
    }
    RunOutcome run(const installer::RunOptions& options, size_t fail_at) override;
    std::vector<Files> kept_sets() override {
        std::vector<Files> out;
        std::error_code ec;
        for (const auto& set : fs::directory_iterator(root_ / "drive_c/펠토사용자설치/보관", ec)) {
            out.push_back(files_of(set.path()));
        }
        return out;
    }
    void check_own(const std::string& at) override {
        EXPECT_EQ(platform::portable::reg::parse(registry()).index(), 0U)
            << at << ": the registry store does not parse";
    }
    void remove() { fs::remove_all(root_); }

private:
    std::string registry() const { return read_bytes(root_ / "registry/HKEY_LOCAL_MACHINE.reg"); }

    fs::path demo_;
    fs::path root_;
};

RunOutcome DemoSweepMachine::run(const installer::RunOptions& options, size_t fail_at) {
    ::setenv("PELTO_MACHINE_ROOT", root_.c_str(), 1);
    testing::ScriptedTerminal terminal;
    auto log = std::make_unique<testing::MemoryRunLog>();
    testing::MemoryRunLog& lines = *log;
    platform::portable::PortableMachine machine(platform::portable::MachineRoot(root_), terminal,
                                                std::make_unique<testing::RecordingUserInterface>(),
                                                std::move(log));
    testing::FaultPlatform faults(machine.platform(), fail_at);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = installer::run_program(faults.platform(), options);
    RunOutcome out;
    out.shown = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
    for (const std::string& line : lines.lines()) {
        out.shown += line + "\n";
    }
    out.end = end_state(status);
    out.calls = faults.counter().calls();
    out.failed = faults.counter().failed();
    return out;
}

class FaultSweep : public ::testing::TestWithParam<const char*> {};

TEST_P(FaultSweep, EveryCallFailingInTurnLosesNothingAndIsToldTruly) {
    testing::DemoMachine demo(std::string("sweep-") + GetParam(), testing::scratch_folder());
    DemoSweepMachine machine(demo.root());
    const testing::SweepRules rules{
        .install = testing::silent_install(GetParam()),
        .passwords = {"Clinic#2024", "not-the-password", "$63TirMox47@$"},
        .template_bytes = read_bytes(demo.root() / "unc/UPDATESRV/pelto/Pelto.ini"),
        .suite_programs = {"Pelto_H.exe"}};
    const testing::SweepReference reference = testing::clean_reference(machine, rules);
    ASSERT_GT(reference.clean.calls, 0U);
    testing::sweep_calls(machine, rules, reference, 1, reference.clean.calls);
    std::cout << "fault sweep of code " << GetParam() << ": " << reference.clean.calls
              << " calls failed in turn\n";
    if (!HasFailure()) {
        machine.remove();
    } else {
        demo.keep();
    }
}

INSTANTIATE_TEST_SUITE_P(DemoCodes, FaultSweep,
                         ::testing::Values("11111111", "33333333", "90000002"));

} // namespace
} // namespace pelto
