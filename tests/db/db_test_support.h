// What the database tests share: a temporary machine root with the portable machine's
// own services, direct ODBC access for setting databases up, and the two test databases
// (SQLite through its ODBC driver, PostgreSQL in the throw-away cluster that the test
// fixture starts).
#pragma once

#include "db/ado/ado.h"
#include "db/cls_db_mng.h"
#include "platform/platform.h"
#include "tests/support/temp_machine.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pelto::dbtest {

// Sets an environment variable for the life of the object; the value the process had
// before, or its absence, comes back afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv();
    void set(const std::string& value) const;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// A throw-away machine root with its own servers.ini and ConnectTo aliases, and a
// Platform of the machine's real services whose file system notes the size of every
// read. While it lives, TMPDIR points into its folder (what the record sets spill stays
// with the test) and the program folder is "C:\PeltoUserInstall_H".
class TestMachine {
public:
    TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    const std::filesystem::path& root() const { return temp_.root(); }
    // The host path of a Windows path on this machine.
    std::filesystem::path host(TextView windows_path) const { return temp_.host(windows_path); }
    void write_servers_ini(const std::string& text) const;
    // A SQL Server client alias in the machine's registry, its data "DBMSSOCN,host,port".
    void set_alias(TextView alias, TextView data);
    // The folder the program runs from, as a Windows path.
    void set_program_folder(TextView windows_path) const;

    platform::Platform& platform() { return platform_; }
    const platform::portable::MachineRoot& machine() { return temp_.machine().machine(); }
    platform::OdbcProviders& odbc() { return platform_.odbc; }
    pelto::testing::RecordingUserInterface& ui() { return temp_.ui(); }
    pelto::testing::MemoryRunLog& log() { return temp_.log(); }

private:
    pelto::testing::TempMachine temp_; // first: everything below lives in it
    ScopedEnv tmpdir_;
    ScopedEnv program_folder_;
    platform::Platform platform_;
};

// ODBC connection strings handed to the driver manager as they are (for setting up
// test databases, never for the manager under test).
class PassThroughProviders final : public platform::OdbcProviders {
public:
    std::variant<platform::OdbcTarget, Error> translate(TextView s) override {
        return platform::OdbcTarget{Text(s), Text()};
    }
};

// Every connection string reaches the test double of SQL Server's driver (odbc_double/),
// named by its path: the driver manager reads ODBCSYSINI once per process, so the double is
// not registered in an odbcinst.ini of the test's own.
class DoubleProviders final : public platform::OdbcProviders {
public:
    explicit DoubleProviders(std::string driver_path) : path_(std::move(driver_path)) {}
    std::variant<platform::OdbcTarget, Error> translate(TextView /*ado_string*/) override {
        return platform::OdbcTarget{u"DRIVER=" + from_utf8(path_) + u";", Text()};
    }

private:
    std::string path_;
};

// Runs statements through a connection of its own (ODBC connection string).
class DirectDb {
public:
    explicit DirectDb(const Text& odbc_connection_string);
    void run(const Text& sql);
    // The first column of every row of a query, as text ("<NULL>" for Null).
    std::vector<Text> column(const Text& sql);
    ado::Connection& connection() { return *connection_; }

private:
    PassThroughProviders providers_;
    std::shared_ptr<ado::Connection> connection_;
};

enum class Backend { SQLite, PostgreSQL };
std::string backend_name(Backend backend);
inline void PrintTo(Backend backend, std::ostream* out) {
    *out << backend_name(backend);
}

// The central database of a test: created empty on one backend and served at the
// SQL Server address 127.0.0.12,4181 (alias "PELTOCENTRAL") with the login sa.
class CentralDb {
public:
    static constexpr const char16_t* kAlias = u"PELTOCENTRAL";
    static constexpr const char16_t* kAddress = u"127.0.0.12,4181";
    static constexpr const char16_t* kLogin = u"sa";
    static constexpr const char16_t* kPassword = u"$63TirMox47@$";
    static constexpr const char16_t* kCatalog = u"Holmaview";

    CentralDb(Backend backend, TestMachine& machine);
    ~CentralDb();
    CentralDb(const CentralDb&) = delete;
    CentralDb& operator=(const CentralDb&) = delete;

    Backend backend() const { return backend_; }
    DirectDb& admin() { return *direct_; }
    const Text& blob_type() const { return blob_type_; }
    // Ends every session of the test database but the admin's own (PostgreSQL only).
    void drop_other_sessions();

private:
    Backend backend_;
    Text database_;
    Text blob_type_;
    std::unique_ptr<DirectDb> direct_;
    std::unique_ptr<DirectDb> maintenance_; // PostgreSQL: the "postgres" database
};

// The driver manager's trace of every ODBC call while the object lives. unixODBC keeps one
// trace for the whole process; it is switched on and off through a connection handle of
// the object's own.
class DriverManagerTrace {
public:
    explicit DriverManagerTrace(std::filesystem::path file);
    DriverManagerTrace(const DriverManagerTrace&) = delete;
    DriverManagerTrace& operator=(const DriverManagerTrace&) = delete;
    ~DriverManagerTrace();
    // Column size and decimal digits ("10,3") of every decimal value bound so far
    // (SQL_NUMERIC or SQL_DECIMAL), in the order of the SQLBindParameter calls.
    std::vector<std::string> decimal_binds() const;

private:
    std::filesystem::path file_;
    void* env_ = nullptr;
    void* dbc_ = nullptr;
};

// The error a step throws; an Error with number 0 when it throws none.
Error error_of(const std::function<void()>& step);

// The Unix socket folder of the test cluster; empty when it is not running.
std::string postgres_socket_folder();

// Bytes 0..n-1 of a reproducible pattern.
ByteArray pattern_bytes(size_t n, uint32_t seed = 1);
void write_file(const std::filesystem::path& path, const ByteArray& bytes);
ByteArray read_file(const std::filesystem::path& path);

} // namespace pelto::dbtest
