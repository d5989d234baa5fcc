// Main on a recording platform: the demo machine's registry, files and database, with
// dialogs and started programs recorded instead of shown and run. What a person sees
// (texts, icons, captions, in order) and what the platform is asked (the lookup's record
// set, the programs' paths and show command), for a whole run and for a run that an
// error ends.
#include "core/exit_status.h"
#include "db/ado/recordset.h"
#include "installer/mdl_start.h"
#include "installer/run.h"
#include "platform/portable/machine_portable.h"
#include "tests/support/demo_machine.h"
#include "tests/support/recording.h"
#include "tests/support/scripted_terminal.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
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
        Text working_folder;
    };
    std::unique_ptr<platform::Process> start(TextView path, int show_command,
                                             TextView working_folder) override {
        starts.push_back({Text(path), show_command, Text(working_folder)});
        return std::make_unique<Ended>();
    }
    std::optional<std::string> cannot_start(TextView) override { return std::nullopt; }
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
        auto ui = std::make_unique<RecordingUserInterface>();
        auto log = std::make_unique<MemoryRunLog>();
        ui_ = ui.get();
        log_ = log.get();
        machine_ = std::make_unique<platform::portable::PortableMachine>(
            platform::portable::MachineRoot(root_), terminal_, std::move(ui), std::move(log));
        p_ = std::make_unique<platform::Platform>(platform::with_services(
            machine_->platform(), {.processes = &processes_, .session = &session_}));
    }

    testing::DemoMachine demo_{std::string("main-") +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const fs::path& root_ = demo_.root();
    RecordingUserInterface* ui_ = nullptr;
    MemoryRunLog* log_ = nullptr;
    RecordingProcesses processes_;
    testing::ScriptedSession session_;
    testing::ScriptedTerminal terminal_;
    std::unique_ptr<platform::portable::PortableMachine> machine_;
    std::unique_ptr<platform::Platform> p_;
};

TEST_F(MainOnARecordingPlatform, AWholeRunAsAPersonSeesItAndAsThePlatformIsAsked) {
    ui_->answers = {u"11111111"};
    mdl시작::ProgramState g;
    EXPECT_EQ(mdl시작::Main(*p_, g), exit_status::kCompleted);
    EXPECT_EQ(ui_->prompts, std::vector<Text>{u"요양기관기호를 입력해주세요."});
    EXPECT_EQ(ui_->warning_forms, std::vector<Text>{u"경고"});
    ASSERT_EQ(ui_->messages.size(), 1U);
    EXPECT_EQ(ui_->messages[0].text, u"설치가 완료 되었습니다.");
    EXPECT_EQ(ui_->messages[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(ui_->messages[0].caption, u"PeltoUserInstall");

    // The lookup: the statement, read-only and client-side (so its count is exact).
    ASSERT_TRUE(g.institution_rows);
    EXPECT_EQ(g.institution_rows->Source(), mdl시작::lookup_statement(u"11111111"));
    EXPECT_EQ(g.institution_rows->LockType(), 1);
    EXPECT_EQ(g.institution_rows->CursorLocation(), 3);

    // The installer, then the updater, each by its full path, normal and activated, in the
    // staging folder (never the folder the run was started from).
    ASSERT_EQ(processes_.starts.size(), 2U);
    EXPECT_EQ(processes_.starts[0].path, u"C:\\펠토사용자설치\\installpelto_H.exe");
    EXPECT_EQ(processes_.starts[1].path, u"C:\\펠토사용자설치\\PeltoUpdate_H.exe");
    for (const RecordingProcesses::Start& start : processes_.starts) {
        EXPECT_EQ(start.show_command, 1);
        EXPECT_EQ(start.working_folder, u"C:\\펠토사용자설치");
    }
    EXPECT_EQ(g.gSQLPW, u"Clinic#2024");
}

TEST_F(MainOnARecordingPlatform, AnErrorEndsTheRunWithTheCriticalGenericMessageOnly) {
    // A NULL database name; the code given, so no input box either.
    installer::RunOptions options;
    options.code = u"90000003";
    EXPECT_EQ(installer::run_program(*p_, options), exit_status::kUnhandledError);
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

// Every file below the machine root with its bytes.
std::map<fs::path, std::string> files_below(const fs::path& root) {
    std::map<fs::path, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path()] = std::string(std::istreambuf_iterator<char>(in), {});
        } else {
            files[entry.path()] = "<folder>";
        }
    }
    return files;
}

TEST_F(MainOnARecordingPlatform, ARunWithoutRightsOrBesideAnotherRunEndsBeforeTouchingAnything) {
    installer::RunOptions options;
    options.code = u"11111111";
    const auto before = files_below(root_);
    struct Case {
        bool elevated;
        bool another_run;
        bool silent;
        int status;
        std::vector<std::string> asked; // rights first: a run without them claims nothing
        TextView message;
    };
    const TextView no_rights = u"관리자 권한으로 실행해야 합니다. 프로그램을 마우스 오른쪽 단추로 "
                               u"누르고 '관리자 권한으로 실행'을 선택해주세요.";
    const TextView under_way =
        u"설치가 이미 진행 중입니다. 진행 중인 설치가 끝난 뒤 다시 실행해주세요.";
    for (const Case& c : {Case{false, true, false, 24, {"elevated"}, no_rights},
                          Case{false, false, true, 24, {"elevated"}, no_rights},
                          Case{true, true, false, 23, {"elevated", "claim"}, under_way},
                          Case{true, true, true, 23, {"elevated", "claim"}, under_way}}) {
        SCOPED_TRACE(c.status);
        SCOPED_TRACE(c.silent);
        session_ = testing::ScriptedSession();
        session_.is_elevated = c.elevated;
        session_.another_run = c.another_run;
        ui_->messages.clear();
        log_->clear();
        options.silent = c.silent;
        EXPECT_EQ(installer::run_program(*p_, options), c.status);
        EXPECT_EQ(session_.asked, c.asked);
        if (c.silent) {
            EXPECT_TRUE(ui_->messages.empty());
            EXPECT_TRUE(log_->contains(to_utf8(c.message)));
        } else {
            ASSERT_EQ(ui_->messages.size(), 1U);
            EXPECT_EQ(ui_->messages[0].text, c.message);
            EXPECT_EQ(ui_->messages[0].caption, u"PeltoUserInstall");
        }
        EXPECT_TRUE(log_->contains("run ended (exit status " + std::to_string(c.status) + ")"));
        EXPECT_FALSE(log_->contains("installation run started"));
        EXPECT_TRUE(processes_.starts.empty());
        EXPECT_TRUE(files_below(root_) == before);
    }
}

} // namespace
} // namespace pelto
