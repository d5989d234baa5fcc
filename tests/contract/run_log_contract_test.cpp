// The run log: UTF-8 records with a time stamp, appended across runs, one record per line
// whatever the text holds, and never a failure into the run.
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>
#include <regex>

namespace pelto::contract {
namespace {

TEST(RunLogContract, RecordsAreTimeStampedUtf8OneLineEachAndAppended) {
    ContractMachine m;
    const Text file = m.path(u"PeltoUserInstall_H.log");
    {
        const auto log = m.make_file_log(file);
        log->write(to_utf8(u"단계 1: 별칭 127.0.0.11"));
        log->write("forged\r\n2024-01-01 00:00:00.000 line\rend\nend");
    }
    {
        const auto log = m.make_file_log(file);
        log->write("second run");
    }
    const std::string text = m.read_file(file).value_or("");
    // The platform's own line end: CR LF on Windows, LF on Linux.
    const std::string end = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
    const std::regex expected(stamp + to_utf8(u"단계 1: 별칭 127\\.0\\.0\\.11") + end + stamp +
                              "forged  2024-01-01 00:00:00\\.000 line end end" + end + stamp +
                              "second run" + end);
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST(RunLogContract, AnUnwritablePlaceLosesTheRecordAndNothingElseAndSaysWhy) {
    ContractMachine m;
    // A folder where the file should be.
    m.make_folder(m.path(u"run.log"));
    const auto log = m.make_file_log(m.path(u"run.log"));
    log->write("nothing happens");
    log->write("nor here");
    EXPECT_EQ(platform::paths(m.platform()).get_attributes(m.path(u"run.log")).value_or(0) &
                  platform::attr::kDirectory,
              platform::attr::kDirectory);
    // Asked for by name (/LOG), the log says why it cannot be had.
    EXPECT_TRUE(m.make_file_log(m.path(u"run.log"))->open().has_value());
}

TEST(RunLogContract, MissingFoldersAreMade) {
    ContractMachine m;
    const Text file = m.path(u"로그\\깊은\\PeltoUserInstall_H.log");
    const auto log = m.make_file_log(file);
    EXPECT_EQ(log->open(), std::nullopt);
    log->write("made");
    EXPECT_NE(m.read_file(file).value_or("").find("made"), std::string::npos);
}

// The log often lies where the user's other programs may write (%TEMP%), while the run
// is an administrator's: whatever they put at its name, the run never writes through it.
TEST(RunLogContract, ALinkOrASecondNameAtTheLogIsNeverWrittenThrough) {
    ContractMachine m;
    // A second name: the other name's file must not change, nor the log file.
    const Text theirs = m.path(u"theirs.txt");
    m.write_file(theirs, "their file");
    const Text file = m.path(u"PeltoUserInstall_H.log");
    ASSERT_TRUE(m.make_hard_link(theirs, file));
    auto log = m.make_file_log(file);
    const std::optional<std::string> refusal = log->open();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("2 names"), std::string::npos) << *refusal;
    log->write("never appended");
    EXPECT_EQ(m.read_file(theirs), std::optional<std::string>("their file"));

    // A symbolic link to a file outside: not followed.
    const Text linked = m.path(u"linked.log");
    if (m.make_file_link_to_outside(linked)) {
        log = m.make_file_log(linked);
        EXPECT_TRUE(log->open().has_value());
        log->write("never appended");
        EXPECT_EQ(m.read_outside_precious(), std::optional<std::string>("keep me"));
    }
}

} // namespace
} // namespace pelto::contract
