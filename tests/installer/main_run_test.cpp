// Main on a recording platform: the demo machine's registry, files and database, with
// dialogs and started programs recorded instead of shown and run. What a person sees
// (texts, icons, captions, in order) and what the platform is asked (the lookup's record
// set, the programs' paths and show command), for a whole run and for a run that an
// error ends.
#include "core/exit_status.h"
#include "db/ado/recordset.h"
#include "installer/mdl_start.h"
#include "platform/portable/portable_machine.h"
#include "tests/support/recording.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pelto {
namespace {

namespace fs = std::filesystem;
using testing::MemoryRunLog;
using testing::RecordingUserInterface;

class RecordingProcesses final : public platform::Processes {
public:
    struct Start {
        Text path;
        int show_command;
    };
    std::unique_ptr<platform::Process> start(TextView path, int show_command) override {
        starts.push_back({Text(path), show_command});
        return std::make_unique<Ended>();
    }
    std::vector<Start> starts;

private:
    class Ended final : public platform::Process {
    public:
        uint32_t id() const override { return 4242; }
        std::optional<uint32_t> wait_for_exit() override { return 0U; }
    };
};

class MainOnARecordingPlatform : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("pelto-main-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        const std::string command =
            "bash '" PELTO_SOURCE_DIR "/scripts/make-demo-machine.sh' --bin '" +
            fs::path(PELTO_CIPHER_TOOL).parent_path().string() +
            "' --central " PELTO_CENTRAL_SERVER_1 "," PELTO_CENTRAL_SERVER_2 " '" + root_.string() +
            "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        auto ui = std::make_unique<RecordingUserInterface>();
        auto log = std::make_unique<MemoryRunLog>();
        ui_ = ui.get();
        log_ = log.get();
        machine_ = std::make_unique<platform::portable::PortableMachine>(
            platform::portable::MachineRoot(root_), std::move(ui), std::move(log));
        const platform::Platform& m = machine_->platform();
        p_ = std::make_unique<platform::Platform>(platform::Platform{
            m.registry, m.profiles, m.files, m.shell, processes_, m.ui, m.odbc, m.log});
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    RecordingUserInterface* ui_ = nullptr;
    MemoryRunLog* log_ = nullptr;
    RecordingProcesses processes_;
    std::unique_ptr<platform::portable::PortableMachine> machine_;
    std::unique_ptr<platform::Platform> p_;
};

TEST_F(MainOnARecordingPlatform, AWholeRunAsAPersonSeesItAndAsThePlatformIsAsked) {
    ui_->answers = {u"11111111"};
    mdl시작::ProgramState g;
    try {
        mdl시작::Main(*p_, g);
        FAIL() << "Main ends the process after its completion message";
    } catch (const ProcessEnd& end) {
        EXPECT_EQ(end.exit_status, exit_status::kCompleted);
    }
    EXPECT_EQ(ui_->prompts, std::vector<Text>{u"요양기관기호를 입력해주세요."});
    EXPECT_EQ(ui_->warning_forms, std::vector<Text>{u"경고"});
    ASSERT_EQ(ui_->messages.size(), 1U);
    EXPECT_EQ(ui_->messages[0].text, u"설치가 완료 되었습니다.");
    EXPECT_EQ(ui_->messages[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(ui_->messages[0].caption, u"PeltoUserInstall");

    // The lookup: the statement, read-only and client-side (so its count is exact).
    ASSERT_TRUE(g.institution_rows);
    EXPECT_EQ(g.institution_rows->Source(), mdl시작::fG_LookupStatement(u"11111111"));
    EXPECT_EQ(g.institution_rows->LockType(), 1);
    EXPECT_EQ(g.institution_rows->CursorLocation(), 3);

    // The installer, then the updater, each by its full path, normal and activated.
    ASSERT_EQ(processes_.starts.size(), 2U);
    EXPECT_EQ(processes_.starts[0].path, u"C:\\펠토사용자설치\\installpelto_H.exe");
    EXPECT_EQ(processes_.starts[1].path, u"C:\\펠토사용자설치\\PeltoUpdate_H.exe");
    EXPECT_EQ(processes_.starts[0].show_command, 1);
    EXPECT_EQ(processes_.starts[1].show_command, 1);
    EXPECT_EQ(g.gSQLPW, u"Clinic#2024");
}

TEST_F(MainOnARecordingPlatform, AnErrorEndsTheRunWithTheCriticalGenericMessageOnly) {
    // A NULL database name; the code given, so no input box either.
    installer::RunOptions options;
    options.code = u"90000003";
    EXPECT_EQ(mdl시작::fG_Run(*p_, options), exit_status::kUnhandledError);
    EXPECT_TRUE(ui_->prompts.empty());
    EXPECT_TRUE(ui_->warning_forms.empty());
    ASSERT_EQ(ui_->messages.size(), 1U);
    EXPECT_EQ(ui_->messages[0].text, u"Run-time error '94':\n\nInvalid use of Null");
    EXPECT_EQ(ui_->messages[0].icon, platform::MessageIcon::Critical);
    EXPECT_EQ(ui_->messages[0].caption, u"PeltoUserInstall");
    EXPECT_TRUE(processes_.starts.empty());
    EXPECT_TRUE(fs::exists(root_ / "drive_c/Pelto_H/bin/Pelto.ini"));
    EXPECT_TRUE(log_->contains("unhandled error 94"));
}

} // namespace
} // namespace pelto
