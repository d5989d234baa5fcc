// The run log: UTF-8 lines with a time stamp, appended across runs, one event per line.
#include "platform/win32/run_log_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <regex>

namespace pelto::win32_test {
namespace {

TEST(Win32RunLog, LinesAreTimeStampedUtf8AndAppended) {
    TempFolder folder;
    const std::wstring file = folder / L"PeltoUserInstall_H.log";
    {
        platform::win32::Win32RunLog log(file);
        log.write(to_utf8(u"단계 1: 별칭 127.0.0.11"));
        log.write("forged\r\n2024-01-01 00:00:00.000 line");
    }
    {
        platform::win32::Win32RunLog log(file);
        log.write("second run");
    }
    const auto bytes = read_bytes(file);
    ASSERT_TRUE(bytes.has_value());
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
    const std::regex expected(stamp + to_utf8(u"단계 1: 별칭 127\\.0\\.0\\.11") + "\r\n" + stamp +
                              "forged  2024-01-01 00:00:00\\.000 line\r\n" + stamp +
                              "second run\r\n");
    EXPECT_TRUE(std::regex_match(*bytes, expected)) << *bytes;
}

TEST(Win32RunLog, UnwritablePlaceIsSilentlyIgnored) {
    TempFolder folder;
    platform::win32::Win32RunLog log(folder / L"missing\\run.log");
    log.write("nothing happens");
    EXPECT_FALSE(exists(folder / L"missing"));
}

} // namespace
} // namespace pelto::win32_test
