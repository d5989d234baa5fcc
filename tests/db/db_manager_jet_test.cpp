// A real Jet 4 file through MDBTools: ConnectServerMDB and the local connection.
#include "tests/db/db_test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string_view>

namespace pelto::dbtest {
namespace {

class JetTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path fruit = PELTO_TEST_FRUIT_MDB;
        if (!std::filesystem::exists(fruit)) {
            // A build server must not pass without the Jet tests having run.
            const char* ci = std::getenv("CI");
            if (ci != nullptr && std::string_view(ci) == "true") {
                FAIL() << "no Jet sample file at " << fruit << " (fetching npm's mdb@0.1.0 failed)";
            }
            GTEST_SKIP() << "no Jet sample file (fetching npm's mdb@0.1.0 failed)";
        }
        std::filesystem::create_directories(machine.root() / "drive_c" / "LocalData");
        std::filesystem::copy_file(fruit,
                                   machine.root() / "drive_c" / "LocalData" / "HolmaView.mdb");
    }

    TestMachine machine;
    clsDBMng db{machine.platform()};
};

TEST_F(JetTest, ConnectServerMdbReadsTheFileThroughItsWindowsPath) {
    // The path as the manager builds it, "..\" and all.
    const Text path = db.LocalDataFilePath();
    ASSERT_EQ(db.ConnectServerMDB(path), 1);
    EXPECT_EQ(db.DatabaseName, path);
    EXPECT_EQ(db.DBConnectString, u"");
    EXPECT_TRUE(db.IsServerConnect());
    EXPECT_EQ(db.sConnect->ConnectionString(),
              u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + path + u";");
    EXPECT_EQ(db.sConnect->CommandTimeout(), 90);

    const auto fruit = db.GetRecordSet(u"SELECT Fruit, Sugar FROM Fruit");
    ASSERT_TRUE(fruit);
    ASSERT_EQ(fruit->State(), ado::adStateOpen);
    EXPECT_EQ(fruit->RecordCount(), 37);
    EXPECT_EQ(fruit->Fields(u"fruit").Value(), Variant(u"Apple"));
    EXPECT_EQ(fruit->Fields(u"Sugar").Value(), Variant(int32_t{12}));
    Variant rows;
    ASSERT_TRUE(db.fnGetRows(u"SELECT Fruit FROM Fruit", rows));
    EXPECT_EQ(rows.array().second_count(), 37U);
    EXPECT_TRUE(machine.ui().messages.empty());
}

TEST_F(JetTest, TheLocalConnectionRunsBesideTheMainOne) {
    ASSERT_EQ(db.ConnectLocalDB(db.LocalDataFilePath()), 1);
    EXPECT_EQ(db.mConnect->CursorLocation(), ado::adUseServer);
    ASSERT_TRUE(db.mCommand);
    EXPECT_FALSE(db.sConnect);
    EXPECT_FALSE(db.IsServerConnect());
    EXPECT_EQ(db.RunSQLm(u"SELECT Fruit FROM Fruit"), 1);
    EXPECT_EQ(db.RunSQLm(u"UPDATE Fruit SET Sugar = 0"), -1000); // MDBTools only reads
    EXPECT_EQ(db.ConnectLocalDB(Text(u"C:\\LocalData\\Missing.mdb")), 0);
}

} // namespace
} // namespace pelto::dbtest
