// mdl함수 over the real file system: trees with hidden, read-only and system files, a
// file held open, a hidden top-level folder, and the settings-file writer.
#include "installer/mdl_functions.h"
#include "platform/codepage.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>

namespace pelto::win32_test {
namespace {

class FunctionsModuleTest : public ::testing::Test {
protected:
    void file(std::wstring_view relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        write_bytes(folder_ / relative, "x");
        SetFileAttributesW((folder_ / relative).c_str(), attributes);
    }
    void dir(std::wstring_view relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        CreateDirectoryW((folder_ / relative).c_str(), nullptr);
        SetFileAttributesW((folder_ / relative).c_str(), attributes);
    }

    TempFolder folder_;
    TestPlatform platform_{folder_ / L"run.log"};
};

TEST_F(FunctionsModuleTest, TreeWithProtectedFilesIsRemovedWhole) {
    dir(L"Resource", FILE_ATTRIBUTE_READONLY);
    file(L"Resource\\a.dat", FILE_ATTRIBUTE_READONLY);
    file(L"Resource\\h.dat", FILE_ATTRIBUTE_HIDDEN);
    file(L"Resource\\s.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    dir(L"Resource\\이미지", FILE_ATTRIBUTE_READONLY);
    file(L"Resource\\이미지\\그림.bmp", FILE_ATTRIBUTE_READONLY);
    dir(L"Resource\\이미지\\empty");

    EXPECT_TRUE(mdl함수::fG_DeleteFolder(platform_.get(), text_of(folder_ / L"Resource\\")));
    EXPECT_FALSE(exists(folder_ / L"Resource"));
}

TEST_F(FunctionsModuleTest, FileHeldOpenStaysWithItsFolderAndTheResultIsStillTrue) {
    dir(L"Resource");
    dir(L"Resource\\sub");
    file(L"Resource\\sub\\busy.dat");
    file(L"Resource\\free.dat");
    const HANDLE busy = CreateFileW((folder_ / L"Resource\\sub\\busy.dat").c_str(), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    const bool result = mdl함수::fG_DeleteFolder(platform_.get(), text_of(folder_ / L"Resource"));
    CloseHandle(busy);
    EXPECT_TRUE(result);
    EXPECT_TRUE(exists(folder_ / L"Resource\\sub\\busy.dat"));
    EXPECT_FALSE(exists(folder_ / L"Resource\\free.dat"));
}

TEST_F(FunctionsModuleTest, HiddenFolderFileAndNothingAreLeftAlone) {
    dir(L"Hidden", FILE_ATTRIBUTE_HIDDEN);
    file(L"Hidden\\f.dat");
    file(L"plain.dat");
    EXPECT_FALSE(mdl함수::fG_DeleteFolder(platform_.get(), text_of(folder_ / L"Hidden")));
    EXPECT_TRUE(exists(folder_ / L"Hidden\\f.dat"));
    EXPECT_FALSE(mdl함수::fG_DeleteFolder(platform_.get(), text_of(folder_ / L"plain.dat")));
    EXPECT_TRUE(exists(folder_ / L"plain.dat"));
    EXPECT_FALSE(mdl함수::fG_DeleteFolder(platform_.get(), text_of(folder_ / L"none")));
}

TEST_F(FunctionsModuleTest, WriteIniCreatesTheFileAndReportsTrueEvenWhenNothingIsWritten) {
    const std::wstring ini = folder_ / L"Pelto.ini";
    EXPECT_TRUE(mdl함수::fG_WriteIni(platform_.get(), u"Database Server", u"server_pwd", u"비밀",
                                     text_of(ini)));
    EXPECT_EQ(read_bytes(ini), std::optional<std::string>("[Database Server]\r\nserver_pwd=" +
                                                          to_cp949(u"비밀") + "\r\n"));
    EXPECT_TRUE(mdl함수::fG_WriteIni(platform_.get(), u"Database Server", u"server_id", u"sa",
                                     text_of(folder_ / L"missing\\Pelto.ini")));
    EXPECT_FALSE(exists(folder_ / L"missing"));
}

} // namespace
} // namespace pelto::win32_test
