// The shell copy of the mapped machine as only it behaves: the question before replacing,
// permission bits, progress on the terminal, a failed copy, links leading off the machine.
#include "platform/path_files.h"
#include "platform/portable/filesystem_portable.h"
#include "platform/portable/shell_copy_portable.h"
#include "tests/support/recording.h"
#include "tests/support/scripted_terminal.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::platform::portable {
namespace {

namespace fs = std::filesystem;

class NoOwner final : public OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};

// The shell copy asks on a terminal of the test's own, where no one answers unless a test
// says so: questions take their default.
class ShellCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("pelto-shellcopy-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(update());
        fs::create_directories(staging());
        machine_ = std::make_unique<MachineRoot>(root_);
        files_ = std::make_unique<PortableFileSystem>(*machine_, log_);
        shell_ = std::make_unique<PortableShellCopy>(*machine_, log_, terminal_);
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path update() const { return root_ / "unc" / "UPDATESRV" / "pelto"; }
    fs::path staging() const { return root_ / "drive_c" / "펠토사용자설치"; }

    static void write(const fs::path& path, const std::string& content, fs::perms perms) {
        std::ofstream(path, std::ios::binary) << content;
        fs::permissions(path, perms);
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Names in a folder, temporary files included.
    static std::vector<std::string> names(const fs::path& folder) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder)) {
            out.push_back(e.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // The copy into the folder held open, as the run holds it; a folder that cannot be
    // reached is the shell's "path not found".
    int copy(TextView source, TextView folder) {
        const std::unique_ptr<Folder> open = PathFiles(*files_, log_).open_folder(folder);
        if (!open) {
            return 3;
        }
        ::testing::internal::CaptureStderr();
        ::testing::internal::CaptureStdout();
        const int status = shell_->copy_file(owner_, source, *open);
        stdout_ = ::testing::internal::GetCapturedStdout();
        stderr_ = ::testing::internal::GetCapturedStderr();
        return status;
    }

    fs::path root_;
    std::unique_ptr<MachineRoot> machine_;
    testing::MemoryRunLog log_;
    std::unique_ptr<PortableFileSystem> files_;
    testing::ScriptedTerminal terminal_;
    std::unique_ptr<PortableShellCopy> shell_;
    NoOwner owner_;
    std::string stdout_;
    std::string stderr_;
};

TEST_F(ShellCopyTest, CopiesIntoTheFolderKeepingNameContentAndPermissionBits) {
    write(update() / "installpelto_H.exe", "#!/bin/sh\nexit 0\n", fs::perms(0750));
    write(update() / "Pelto.ini", "[a]\r\nb=c", fs::perms(0640));
    EXPECT_EQ(copy(u"\\\\updatesrv\\PELTO\\installpelto_H.exe", u"C:\\펠토사용자설치"), 0);
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\pelto.INI", u"c:\\펠토사용자설치\\"), 0);
    // The name is the source file's own spelling.
    EXPECT_EQ(names(staging()), (std::vector<std::string>{"Pelto.ini", "installpelto_H.exe"}));
    EXPECT_EQ(read(staging() / "installpelto_H.exe"), "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(fs::status(staging() / "installpelto_H.exe").permissions(), fs::perms(0750));
    EXPECT_EQ(fs::status(staging() / "Pelto.ini").permissions(), fs::perms(0640));
    EXPECT_EQ(read(staging() / "Pelto.ini"), "[a]\r\nb=c");
}

TEST_F(ShellCopyTest, AnExistingFileInAnyLetterCaseIsReplacedAfterTheQuestion) {
    write(update() / "PeltoUpdate_H.exe", "new", fs::perms(0755));
    write(staging() / "PELTOUPDATE_H.EXE", "old", fs::perms(0644));
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\PeltoUpdate_H.exe", u"C:\\펠토사용자설치"), 0);
    EXPECT_NE(terminal_.shown().find("바꾸시겠습니까?"), std::string::npos);
    EXPECT_NE(terminal_.noted().find("no terminal: answered 예"), std::string::npos);
    EXPECT_EQ(names(staging()), std::vector<std::string>{"PELTOUPDATE_H.EXE"});
    EXPECT_EQ(read(staging() / "PELTOUPDATE_H.EXE"), "new");
}

// A person at the terminal decides: "no" keeps the file as it was, "yes" replaces it.
TEST_F(ShellCopyTest, AtATerminalTheAnswerDecidesWhetherTheFileIsReplaced) {
    write(update() / "PeltoUpdate_H.exe", "new", fs::perms(0755));
    write(staging() / "PeltoUpdate_H.exe", "old", fs::perms(0644));
    testing::ScriptedTerminal person(true, "아니오\ny\n");
    PortableShellCopy asking(*machine_, log_, person);
    const std::unique_ptr<Folder> folder =
        PathFiles(*files_, log_).open_folder(u"C:\\펠토사용자설치");
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(asking.copy_file(owner_, u"\\\\UPDATESRV\\pelto\\PeltoUpdate_H.exe", *folder), 0x75);
    EXPECT_NE(person.shown().find("바꾸시겠습니까?"), std::string::npos);
    EXPECT_EQ(read(staging() / "PeltoUpdate_H.exe"), "old");
    EXPECT_EQ(asking.copy_file(owner_, u"\\\\UPDATESRV\\pelto\\PeltoUpdate_H.exe", *folder), 0);
    EXPECT_EQ(read(staging() / "PeltoUpdate_H.exe"), "new");
    EXPECT_EQ(person.unread(), "");
}

TEST_F(ShellCopyTest, MissingSourceOrFolderIsReportedAndNothingIsCreated) {
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\installpelto_H.exe", u"C:\\펠토사용자설치"), 2);
    EXPECT_NE(stderr_.find("[파일 복사 오류]"), std::string::npos);
    write(update() / "Pelto.ini", "x", fs::perms(0644));
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\Pelto.ini", u"C:\\Pelto_H\\bin"), 3);
    EXPECT_TRUE(names(staging()).empty());
    EXPECT_FALSE(fs::exists(root_ / "drive_c" / "Pelto_H"));
}

TEST_F(ShellCopyTest, AFileIsNeverCopiedOntoItself) {
    write(staging() / "installpelto_H.exe", "only copy", fs::perms(0755));
    EXPECT_EQ(copy(u"C:\\펠토사용자설치\\installpelto_H.exe", u"C:\\펠토사용자설치"), 0x71);
    EXPECT_EQ(read(staging() / "installpelto_H.exe"), "only copy");
    EXPECT_EQ(names(staging()), std::vector<std::string>{"installpelto_H.exe"});
}

TEST_F(ShellCopyTest, AFailedCopyLeavesNeitherHalfAFileNorADamagedOne) {
    write(update() / "installpelto_H.exe", std::string(3U << 20U, 'n'), fs::perms(0755));
    write(staging() / "installpelto_H.exe", "previous installer", fs::perms(0755));
    // Files may not grow beyond 1 MiB: the copy breaks off after it began.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1U << 20U;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int status = copy(u"\\\\UPDATESRV\\pelto\\installpelto_H.exe", u"C:\\펠토사용자설치");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_NE(status, 0);
    EXPECT_NE(stderr_.find("[파일 복사 오류]"), std::string::npos);
    // The run log names the refused call, the file as the run names it and the reason.
    ASSERT_EQ(log_.lines().size(), 1U);
    EXPECT_EQ(log_.lines()[0].rfind("write failed on C:\\펠토사용자설치\\installpelto_H.exe [", 0),
              0U)
        << log_.lines()[0];
    EXPECT_NE(log_.lines()[0].find("]: File too large (errno 27)"), std::string::npos);
    EXPECT_EQ(names(staging()), std::vector<std::string>{"installpelto_H.exe"});
    EXPECT_EQ(read(staging() / "installpelto_H.exe"), "previous installer");
}

TEST_F(ShellCopyTest, ALinkLeadingOffTheMachineIsNotCopied) {
    fs::create_symlink("/etc/hostname", update() / "installpelto_H.exe");
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\installpelto_H.exe", u"C:\\펠토사용자설치"), 2);
    EXPECT_TRUE(names(staging()).empty());
    // A link inside the machine is followed, as the shell follows it.
    write(root_ / "drive_c" / "real.exe", "real", fs::perms(0755));
    fs::create_symlink(root_ / "drive_c" / "real.exe", update() / "PeltoUpdate_H.exe");
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\PeltoUpdate_H.exe", u"C:\\펠토사용자설치"), 0);
    EXPECT_EQ(read(staging() / "PeltoUpdate_H.exe"), "real");
}

TEST_F(ShellCopyTest, LongCopiesShowProgressAndShortOnesDoNot) {
    write(update() / "installpelto_H.exe", std::string(6U << 20U, 'x'), fs::perms(0755));
    write(update() / "PeltoUpdate_H.exe", "small", fs::perms(0755));
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\installpelto_H.exe", u"C:\\펠토사용자설치"), 0);
    EXPECT_NE(stderr_.find("installpelto_H.exe 100%"), std::string::npos);
    EXPECT_EQ(fs::file_size(staging() / "installpelto_H.exe"), 6U << 20U);
    EXPECT_EQ(copy(u"\\\\UPDATESRV\\pelto\\PeltoUpdate_H.exe", u"C:\\펠토사용자설치"), 0);
    EXPECT_EQ(stderr_, "");
}

} // namespace
} // namespace pelto::platform::portable
