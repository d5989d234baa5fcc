// One test body for every backend: the manager connected through servers.ini to the
// central database on SQLite or on PostgreSQL.
#pragma once

#include "tests/db/db_test_support.h"

#include <gtest/gtest.h>

namespace pelto::dbtest {

class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        central = std::make_unique<CentralDb>(GetParam(), machine);
        central->admin().run(u"CREATE TABLE PL_기관정보 (요양기관코드 VARCHAR(8) PRIMARY KEY, "
                             u"자동업데이트경로 VARCHAR(200), SQLNAME VARCHAR(50), SQLUSER "
                             u"VARCHAR(50), SQLPW VARCHAR(100), MainDB VARCHAR(50))");
        central->admin().run(
            u"INSERT INTO PL_기관정보 VALUES ('12345678', '\\\\업데이트서버\\펠토\\자동', "
            u"'CLINICSRV', 'pelto', 'A1B2', 'PeltoMain'), ('23456789', 'D:\\update', 'S2', "
            u"'u2', 'C3D4', 'Main2'), ('34567890', NULL, 'S3', 'u3', 'E5F6', 'Main3')");
        ASSERT_EQ(connect(), 1);
    }

    int32_t connect() {
        return db.ConnectServerDB(Text(CentralDb::kAlias), Text(CentralDb::kLogin),
                                  Text(CentralDb::kPassword), CentralDb::kCatalog);
    }
    bool postgres() const { return GetParam() == Backend::PostgreSQL; }
    // The first column of a query, read by the test's own connection.
    std::vector<Text> column(const Text& sql) { return central->admin().column(sql); }

    TestMachine machine;
    std::unique_ptr<CentralDb> central;
    clsDBMng db{machine.platform()};
};

inline std::string backend_test_name(const ::testing::TestParamInfo<Backend>& info) {
    return backend_name(info.param);
}

#define PELTO_ON_EVERY_BACKEND(suite)                                                              \
    INSTANTIATE_TEST_SUITE_P(Backends, suite,                                                      \
                             ::testing::Values(Backend::SQLite, Backend::PostgreSQL),              \
                             backend_test_name)

} // namespace pelto::dbtest
