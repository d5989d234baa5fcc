// The database manager through the system's odbc32 on a real driver: row counts, parameter
// lengths, data-at-execution chunks and chunked reads all pass SQLLEN values and pointers
// to them. The stage runs this in the 64-bit program and in the 32-bit one, where SQLLEN is
// 32 bits wide and the 32-bit drivers answer. Under Wine the driver is the host's SQLite3
// ODBC driver, reached by its host path; elsewhere the test is skipped.
#include "db/cls_db_mng.h"
#include "platform/win32/machine_win32.h"
#include "platform/win32/odbc/odbc_providers_win32.h"
#include "tests/win32/win32_test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

// The host path of a Windows path, where the system is Wine (its kernel32 says so).
std::optional<std::string> wine_host_path(const std::wstring& path) {
    using Convert = char* (*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) {
        return std::nullopt;
    }
    char* host = convert(path.c_str());
    if (host == nullptr) {
        return std::nullopt;
    }
    std::string out(host);
    HeapFree(GetProcessHeap(), 0, host);
    return out;
}

class OdbcWidthsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<Text> drivers = platform::win32::installed_odbc_drivers();
        const std::optional<std::string> folder = wine_host_path(folder_.path());
        if (!folder || std::find(drivers.begin(), drivers.end(), u"SQLite3") == drivers.end()) {
            GTEST_SKIP() << "needs Wine and the host's SQLite3 ODBC driver";
        }
        write_bytes(folder_ / L"servers.ini",
                    "[widths]\r\nconnection=DRIVER={SQLite3};Database=" + *folder + "/w.db;\r\n");
        platform_.emplace(folder_ / L"run.log",
                          platform::win32::OdbcServerMap(folder_ / L"servers.ini"));
        db_.emplace(platform_->platform());
        ASSERT_EQ(db_->ConnectServerDB(Variant(Text(u"widths")), Variant(Text(u"sa")),
                                       Variant(Text(u"pw")), u"main"),
                  1)
            << to_utf8(db_->ErrorDesc);
    }

    TempFolder folder_;
    std::optional<platform::win32::Win32Machine> platform_;
    std::optional<clsDBMng> db_;
};

TEST_F(OdbcWidthsTest, CountsParametersAndChunksKeepTheirLengths) {
    clsDBMng& db = *db_;
    ASSERT_EQ(db.RunSQL(u"CREATE TABLE 표 (번호 INTEGER PRIMARY KEY, 이름 TEXT, 내용 BLOB)"), 1)
        << to_utf8(db.ErrorDesc);
    // A row count.
    int32_t count = 0;
    Text description;
    ASSERT_TRUE(
        db.fnExecute(u"INSERT INTO 표 VALUES (1, 'a', NULL), (2, 'b', NULL), (3, 'c', NULL)", count,
                     description))
        << to_utf8(description);
    EXPECT_EQ(count, 3);
    // Parameter lengths: a Korean text and a number.
    ASSERT_EQ(db.CommandAppendPara(Text(u"이름"), Text(u"홍길동 펠토"), 0), 0);
    ASSERT_EQ(db.CommandAppendPara(Text(u"번호"), int32_t{2}, 1), 0);
    EXPECT_EQ(db.CommandExcute(u"UPDATE 표 SET 이름 = ? WHERE 번호 >= ?"), 2)
        << to_utf8(db.ErrorDesc);

    // 70000 bytes in and out: data-at-execution chunks and chunked reads.
    std::string bytes(70000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    write_bytes(folder_ / L"in.bin", bytes);
    {
        const auto row =
            db.GetRecordSet(u"SELECT 번호, 이름, 내용 FROM 표 WHERE 번호 = 3", 0, 3, 3);
        ASSERT_TRUE(row) << to_utf8(db.ErrorDesc);
        EXPECT_EQ(db.ImageDBSave(row->Fields(u"내용"), text_of(folder_ / L"in.bin")), 70000);
        row->Update();
    }
    const auto fresh = db.GetRecordSet(u"SELECT 번호, 이름, 내용 FROM 표 WHERE 번호 = 3");
    ASSERT_TRUE(fresh) << to_utf8(db.ErrorDesc);
    EXPECT_EQ(fresh->Fields(u"이름").Value(), Variant(Text(u"홍길동 펠토")));
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), text_of(folder_ / L"out.bin")), 1);
    EXPECT_EQ(read_bytes(folder_ / L"out.bin"), std::optional<std::string>(bytes));
}

} // namespace
} // namespace pelto::win32_test
