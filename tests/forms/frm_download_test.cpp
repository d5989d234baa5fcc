// The download form's two jobs on a file system held in memory.
#include "core/exit_status.h"
#include "forms/frm_download.h"
#include "tests/forms/fake_platform.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

using testing::CopyRequest;
using testing::FakePlatform;

constexpr TextView kStaging = u"C:\\펠토사용자설치";

class ProgramFilesJob : public ::testing::Test {
protected:
    void SetUp() override {
        f.files.add_folder(u"\\\\SERVER\\update");
        f.files.add(u"\\\\SERVER\\update\\installpelto_H.exe");
        f.files.add(u"\\\\SERVER\\update\\PeltoUpdate_H.exe");
        f.files.add(u"\\\\SERVER\\update\\Pelto.ini");
        f.files.add(u"\\\\SERVER\\update\\readme.txt");
    }
    FakePlatform f;
};

TEST_F(ProgramFilesJob, CopiesInstallerAndUpdaterWithOrWithoutTrailingBackslash) {
    for (const Text& path : {Text(u"\\\\SERVER\\update"), Text(u"\\\\SERVER\\update\\")}) {
        f.shell.copies.clear();
        f.files.listed_patterns.clear();
        frm다운로드::sG_ShowMe(f.p, path, 0);
        EXPECT_EQ(f.files.listed_patterns, std::vector<Text>{u"\\\\SERVER\\update\\*"});
        const std::vector<CopyRequest> expected{
            {u"\\\\SERVER\\update\\PeltoUpdate_H.exe", Text(kStaging)},
            {u"\\\\SERVER\\update\\installpelto_H.exe", Text(kStaging)},
        };
        std::vector<CopyRequest> got = f.shell.copies;
        std::sort(got.begin(), got.end(), [](auto& a, auto& b) { return a.source < b.source; });
        EXPECT_EQ(got, expected) << "path " << to_utf8(path);
    }
    EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(ProgramFilesJob, MatchesNamesInAnyCaseAndAsSubstrings) {
    f.files.add(u"\\\\SERVER\\update\\INSTALLPELTO_H.EXE.bak");
    f.files.add(u"\\\\SERVER\\update\\old_peltoupdate_h.exe");
    f.files.add(u"\\\\SERVER\\update\\installpelto.exe"); // not the suite's installer name
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\update", 0);
    std::vector<Text> sources;
    for (const CopyRequest& c : f.shell.copies) {
        sources.push_back(c.source.substr(c.source.rfind(u'\\') + 1));
    }
    std::sort(sources.begin(), sources.end());
    EXPECT_EQ(sources, (std::vector<Text>{u"INSTALLPELTO_H.EXE.bak", u"PeltoUpdate_H.exe",
                                          u"installpelto_H.exe", u"old_peltoupdate_h.exe"}));
}

TEST_F(ProgramFilesJob, MakesTheStagingFolderPrivateBeforeCopying) {
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\update", 0);
    EXPECT_EQ(f.files.private_requests, std::vector<Text>{Text(kStaging)});
    EXPECT_TRUE(f.files.has(kStaging));
}

TEST_F(ProgramFilesJob, AStagingFolderThatCannotBeMadeIsError75AndNothingIsCopied) {
    // A file of that name, and a folder this program did not make.
    for (const bool as_file : {true, false}) {
        FakePlatform g;
        g.files.add(u"\\\\SERVER\\update\\installpelto_H.exe");
        if (as_file) {
            g.files.add(kStaging);
        } else {
            g.files.refuse_private = true;
        }
        try {
            frm다운로드::sG_ShowMe(g.p, u"\\\\SERVER\\update", 0);
            FAIL() << "error 75 expected";
        } catch (const VbError& e) {
            EXPECT_EQ(e.number(), vberr::kPathFileAccess);
        }
        EXPECT_TRUE(g.shell.copies.empty());
        EXPECT_TRUE(g.ui.messages.empty());
        EXPECT_TRUE(g.log.contains("is not one this program made"));
    }
}

TEST_F(ProgramFilesJob, TheCheckLooksAtWhatTheJobWouldCopyAndTouchesNothing) {
    using State = frm다운로드::UpdatePath;
    EXPECT_EQ(frm다운로드::check_update_path(f.p, u"\\\\SERVER\\update\\"), State::Usable);
    EXPECT_EQ(frm다운로드::check_update_path(f.p, u"\\\\SERVER\\missing"), State::CannotBeListed);
    // An empty folder can be listed ("." and ".."), and holds neither program.
    f.files.add_folder(u"D:\\empty");
    EXPECT_EQ(frm다운로드::check_update_path(f.p, u"D:\\empty"), State::NoInstaller);
    // The copy's own rule: any case, anywhere in the name.
    f.files.add_folder(u"D:\\only");
    f.files.add(u"D:\\only\\Old_INSTALLpelto_h.exe.bak");
    EXPECT_EQ(frm다운로드::check_update_path(f.p, u"D:\\only"), State::NoUpdater);
    f.files.add(u"D:\\only\\peltoupdate_h.EXE");
    EXPECT_EQ(frm다운로드::check_update_path(f.p, u"D:\\only"), State::Usable);
    EXPECT_TRUE(f.files.private_requests.empty());
    EXPECT_TRUE(f.shell.copies.empty());
    EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(ProgramFilesJob, UnusablePathShowsTheMessageAndEndsTheProcessAfterCreatingStaging) {
    for (const Text& path : {Text(u"\\\\SERVER\\missing"), Text(u"C:\\nowhere\\")}) {
        f.ui.messages.clear();
        try {
            frm다운로드::sG_ShowMe(f.p, path, 0);
            FAIL() << "the process should end";
        } catch (const ProcessEnd& end) {
            EXPECT_EQ(end.exit_status, exit_status::kUpdatePathUnusable);
        }
        ASSERT_EQ(f.ui.messages.size(), 1U);
        EXPECT_EQ(f.ui.messages[0].text,
                  u"다운로더를 사용할 수 있는 환경이 아닙니다. 담당자에게 연락주세요.");
        EXPECT_EQ(f.ui.messages[0].icon, platform::MessageIcon::Information);
        EXPECT_EQ(f.ui.messages[0].caption, u"PeltoUserInstall");
        EXPECT_TRUE(f.files.has(kStaging));
        EXPECT_TRUE(f.shell.copies.empty());
    }
    EXPECT_TRUE(f.log.contains("cannot be listed"));
}

TEST_F(ProgramFilesJob, AnEmptyFolderStillListsItsDotEntriesAndCopiesNothing) {
    f.files.add_folder(u"D:\\empty");
    frm다운로드::sG_ShowMe(f.p, u"D:\\empty", 0);
    EXPECT_TRUE(f.ui.messages.empty());
    EXPECT_TRUE(f.shell.copies.empty());
}

TEST_F(ProgramFilesJob, CopiesAreOwnedByTheFormsWindowAndFailuresAreOnlyLogged) {
    f.files.add(u"\\\\SERVER\\update\\installpelto_H.exe.lnk", platform::attr::kHidden);
    f.files.add_folder(u"\\\\SERVER\\update\\PeltoUpdate_H.exe.d");
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\update", 0);
    // The hidden entry is not listed; the folder is, and its copy is requested.
    EXPECT_EQ(f.shell.copies.size(), 3U);
    EXPECT_EQ(f.ui.windows_created, 1);
    ASSERT_FALSE(f.shell.owners.empty());
    EXPECT_EQ(f.shell.owners[0], f.shell.owners.back());
}

class SettingsFileJob : public ::testing::Test {
protected:
    void SetUp() override {
        f.files.add_folder(u"\\\\SERVER\\update");
        f.files.add(u"\\\\SERVER\\update\\Pelto.ini");
    }
    FakePlatform f;
};

TEST_F(SettingsFileJob, CopiesTheTemplateWhenTheProgramFolderExists) {
    f.files.add_folder(u"C:\\Pelto_H\\bin");
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\update\\", 1);
    EXPECT_EQ(f.shell.copies,
              (std::vector<CopyRequest>{{u"\\\\SERVER\\update\\Pelto.ini", u"C:\\Pelto_H\\bin"}}));
}

TEST_F(SettingsFileJob, AnyJobNumberOtherThanZeroIsTheSettingsJob) {
    f.files.add_folder(u"C:\\Pelto_H\\bin");
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\update", -7);
    ASSERT_EQ(f.shell.copies.size(), 1U);
    EXPECT_EQ(f.shell.copies[0].source, u"\\\\SERVER\\update\\Pelto.ini");
    EXPECT_TRUE(f.files.private_requests.empty());
}

TEST_F(SettingsFileJob, NothingWithoutTheProgramFolderAndNothingShown) {
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\update", 1);
    EXPECT_TRUE(f.shell.copies.empty());
    EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(SettingsFileJob, AMissingTemplateIsOnlyLogged) {
    f.files.add_folder(u"C:\\Pelto_H\\bin");
    frm다운로드::sG_ShowMe(f.p, u"\\\\SERVER\\elsewhere", 1);
    EXPECT_EQ(f.shell.copies.size(), 1U);
    EXPECT_TRUE(f.ui.messages.empty());
    EXPECT_TRUE(f.log.contains("status 2"));
}

} // namespace
} // namespace pelto
