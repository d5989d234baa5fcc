// Programs of the mapped machine started by their Windows path and waited for.
#include "core/error.h"
#include "platform/portable/processes_portable.h"
#include "tests/support/recording.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;

class Programs : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("pelto-processes-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "drive_c" / "펠토사용자설치");
        machine_ = std::make_unique<MachineRoot>(root_);
        processes_ = std::make_unique<PortableProcesses>(*machine_, log_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // A script in the staging folder under the given name.
    fs::path script(const std::string& name, const std::string& body, bool executable = true) {
        fs::path path = root_ / "drive_c" / "펠토사용자설치" / name;
        std::ofstream(path) << body;
        ::chmod(path.c_str(), executable ? 0755 : 0644);
        return path;
    }

    fs::path root_;
    std::unique_ptr<MachineRoot> machine_;
    testing::MemoryRunLog log_;
    std::unique_ptr<PortableProcesses> processes_;
};

TEST_F(Programs, AScriptWithAShebangRunsToItsEndAndGivesItsExitCode) {
    const fs::path marker = root_ / "drive_c" / "ran";
    script("installpelto_H.exe",
           "#!/bin/sh\nsleep 0.3\necho done > \"$PELTO_TEST_MARKER\"\nexit 7\n");
    ::setenv("PELTO_TEST_MARKER", marker.c_str(), 1);
    // The Windows path in other letter case reaches the same file.
    const auto process = processes_->start(u"c:\\펠토사용자설치\\INSTALLPELTO_H.EXE", 1);
    ASSERT_NE(process, nullptr);
    EXPECT_GT(process->id(), 0U);
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(7));
    // The wait returned only after the program had ended.
    EXPECT_TRUE(fs::exists(marker));
    // Asking again gives the same code and does not wait.
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(7));
}

TEST_F(Programs, AMissingProgramIsFileNotFound) {
    try {
        processes_->start(u"C:\\펠토사용자설치\\installpelto_H.exe", 1);
        FAIL() << "expected error 53";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), vberr::kFileNotFound);
    }
    try {
        processes_->start(u"C:\\..\\..\\outside.exe", 1);
        FAIL() << "a path leaving the machine must not start anything";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), vberr::kFileNotFound);
    }
}

TEST_F(Programs, AFileThatCannotRunIsInvalidProcedureCall) {
    script("installpelto_H.exe", "#!/bin/sh\nexit 0\n", false);
    script("PeltoUpdate_H.exe", "MZ not a program for this system\n", true);
    for (const TextView path : {TextView(u"C:\\펠토사용자설치\\installpelto_H.exe"),
                                TextView(u"C:\\펠토사용자설치\\PeltoUpdate_H.exe")}) {
        try {
            processes_->start(path, 1);
            FAIL() << "expected error 5 for " << to_utf8(path);
        } catch (const VbError& e) {
            EXPECT_EQ(e.number(), vberr::kInvalidProcedureCall);
        }
    }
}

TEST_F(Programs, AProgramEndedByASignalGivesTheShellsCode) {
    script("installpelto_H.exe", "#!/bin/sh\nkill -TERM $$\n");
    const auto process = processes_->start(u"C:\\펠토사용자설치\\installpelto_H.exe", 1);
    EXPECT_EQ(process->wait_for_exit(), std::optional<uint32_t>(128 + 15));
}

} // namespace
} // namespace pelto::platform::portable
