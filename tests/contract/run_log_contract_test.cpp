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

TEST(RunLogContract, AnUnwritablePlaceLosesTheRecordAndNothingElse) {
    ContractMachine m;
    // A folder where the file should be. (A missing folder differs on purpose: the Linux
    // build makes the machine root's log folder, Windows writes only into a folder that
    // exists.)
    m.make_folder(m.path(u"run.log"));
    const auto log = m.make_file_log(m.path(u"run.log"));
    log->write("nothing happens");
    log->write("nor here");
    EXPECT_EQ(m.platform().files.get_attributes(m.path(u"run.log")).value_or(0) &
                  platform::attr::kDirectory,
              platform::attr::kDirectory);
}

} // namespace
} // namespace pelto::contract
