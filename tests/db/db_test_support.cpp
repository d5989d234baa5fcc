#include "tests/db/db_test_support.h"

#include "platform/codepage.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <sql.h>
#include <sqlext.h>
#include <stdexcept>
#include <unistd.h>

// The sanitizer build's leak checker: what the ODBC drivers themselves leak (the SQLite
// driver's data source settings, MDBTools' glib strings) is theirs, not ours.
extern "C" const char* __lsan_default_suppressions() { // NOLINT(bugprone-reserved-identifier)
    return "leak:libsqlite3odbc\nleak:libmdbodbc\nleak:libmdb\nleak:libglib\nleak:psqlodbc\n"
           "leak:libtdsodbc\n";
}

namespace pelto::dbtest {

namespace fs = std::filesystem;

namespace {

// unixODBC unloads a driver with its last connection; a leak found at exit would then
// point into unmapped code that nobody can name. Pinning the installed drivers keeps
// them mapped, so the suppressions above can recognise them.
const bool kDriversPinned = [] {
    std::ifstream ini("/etc/odbcinst.ini");
    std::string line;
    while (std::getline(ini, line)) {
        if (line.rfind("Driver", 0) != 0 || line.find('=') == std::string::npos) {
            continue;
        }
        std::string name = line.substr(line.find('=') + 1);
        name.erase(0, name.find_first_not_of(" \t"));
        for (const char* folder : {"", "/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/odbc/"}) {
            if (dlopen((folder + name).c_str(), RTLD_LAZY | RTLD_NODELETE) != nullptr) {
                break;
            }
        }
    }
    return true;
}();

} // namespace

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* previous = std::getenv(name_.c_str())) {
        previous_ = previous;
    }
    set(value);
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

void ScopedEnv::set(const std::string& value) const {
    setenv(name_.c_str(), value.c_str(), 1);
}

namespace {

constexpr TextView kConnectToKey = u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";

// The folder where what the record sets spill goes: made beside the machine, so that it
// goes with the test's folder.
std::string spill_folder(const pelto::testing::TempMachine& temp) {
    const fs::path folder = temp.outside() / "tmp";
    fs::create_directories(folder);
    return folder.string();
}

} // namespace

TestMachine::TestMachine()
    : tmpdir_("TMPDIR", spill_folder(temp_)),
      program_folder_("PELTO_PROGRAM_FOLDER", "C:\\PeltoUserInstall_H"),
      platform_(
          platform::with_services(temp_.platform(), {.ui = &temp_.ui(), .log = &temp_.log()})) {
    // servers.ini places the SQLite central databases below the machine root.
    fs::create_directories(root() / "central");
}

void TestMachine::write_servers_ini(const std::string& text) const {
    pelto::testing::write_host_file(root() / "network" / "servers.ini", text);
}

void TestMachine::set_alias(TextView alias, TextView data) {
    platform::portable::PortableRegistry& registry = temp_.machine().registry();
    std::string bytes = to_cp949(data);
    bytes.push_back('\0');
    const std::span<const uint8_t> value(reinterpret_cast<const uint8_t*>(bytes.data()),
                                         bytes.size());
    if (registry.create_key(kConnectToKey) != platform::kRegSuccess ||
        registry.set_value(kConnectToKey, alias, platform::kRegSz, value) !=
            platform::kRegSuccess) {
        throw std::runtime_error("cannot write the alias " + to_utf8(alias));
    }
}

void TestMachine::set_program_folder(TextView windows_path) const {
    program_folder_.set(to_utf8(windows_path));
}

DirectDb::DirectDb(const Text& odbc_connection_string)
    : connection_(std::make_shared<ado::Connection>(providers_)) {
    connection_->ConnectionString(odbc_connection_string);
    connection_->Open();
}

void DirectDb::run(const Text& sql) {
    connection_->Execute(sql, nullptr, ado::adExecuteNoRecords);
}

std::vector<Text> DirectDb::column(const Text& sql) {
    ado::Recordset records;
    records.CursorLocation(ado::adUseClient);
    records.Open(sql, connection_);
    std::vector<Text> values;
    while (!records.Eof()) {
        const Variant v = records.Fields(0).Value();
        values.push_back(v.is_null() ? Text(u"<NULL>") : v.to_text());
        records.MoveNext();
    }
    return values;
}

std::string backend_name(Backend backend) {
    return backend == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

DriverManagerTrace::DriverManagerTrace(fs::path file) : file_(std::move(file)) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string path = file_.string();
    if (!SQL_SUCCEEDED(SQLSetConnectAttr(dbc_, SQL_ATTR_TRACEFILE, path.data(), SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLSetConnectAttr(dbc_, SQL_ATTR_TRACE,
                                         reinterpret_cast<SQLPOINTER>(SQL_OPT_TRACE_ON), 0))) {
        throw std::runtime_error("the driver manager does not trace");
    }
}

DriverManagerTrace::~DriverManagerTrace() {
    SQLSetConnectAttr(dbc_, SQL_ATTR_TRACE, reinterpret_cast<SQLPOINTER>(SQL_OPT_TRACE_OFF), 0);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::vector<std::string> DriverManagerTrace::decimal_binds() const {
    // unixODBC writes the arguments of each entry one per line: "SQL Type = 2 SQL_NUMERIC",
    // "Col Def = 10", "Scale = 3".
    std::ifstream trace(file_);
    std::vector<std::string> binds;
    std::string line;
    bool decimal = false;
    std::string size;
    const auto value_of = [](const std::string& l) { return l.substr(l.find('=') + 2); };
    while (std::getline(trace, line)) {
        if (line.find("SQL Type = ") != std::string::npos) {
            decimal = line.find("SQL_NUMERIC") != std::string::npos ||
                      line.find("SQL_DECIMAL") != std::string::npos;
        } else if (decimal && line.find("Col Def = ") != std::string::npos) {
            size = value_of(line);
        } else if (decimal && line.find("Scale = ") != std::string::npos) {
            binds.push_back(size + "," + value_of(line));
            decimal = false;
        }
    }
    return binds;
}

Error error_of(const std::function<void()>& step) {
    try {
        step();
    } catch (const VbError& e) {
        return e.error();
    }
    return Error{};
}

std::string postgres_socket_folder() {
#ifdef PELTO_TEST_PG_STATE
    std::ifstream in(PELTO_TEST_PG_STATE);
    std::string folder;
    std::getline(in, folder);
    return folder;
#else
    return std::string();
#endif
}

CentralDb::CentralDb(Backend backend, TestMachine& machine) : backend_(backend) {
    machine.set_alias(kAlias, u"DBMSSOCN,127.0.0.12,4181");
    std::string section = "[127.0.0.12,4181]\n";
    if (backend == Backend::SQLite) {
        const fs::path file = machine.root() / "central" / "holmaview.sqlite";
        direct_ = std::make_unique<DirectDb>(u"DRIVER={SQLite3};Database=" +
                                             from_utf8(file.string()) + u";");
        section += "engine   = sqlite\ndatabase = central/holmaview.sqlite   ; below the root\n";
        blob_type_ = u"BLOB";
    } else {
        const std::string socket = postgres_socket_folder();
        if (socket.empty()) {
            throw std::runtime_error("the PostgreSQL test cluster is not running");
        }
        static std::atomic<int> counter{0};
        const std::string name =
            "pelto_t" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        database_ = from_utf8(name);
        const Text server = u"DRIVER={PostgreSQL Unicode};Servername=" + from_utf8(socket) +
                            u";Port=5432;UID=postgres;BoolsAsChar=0;Database=";
        maintenance_ = std::make_unique<DirectDb>(server + u"postgres;");
        maintenance_->run(u"CREATE DATABASE " + database_ + u" ENCODING 'UTF8' TEMPLATE template0");
        direct_ = std::make_unique<DirectDb>(server + database_ + u";");
        section += "engine   = postgresql\nsocket   = " + socket + "\ndatabase = " + name +
                   "\nuser     = postgres\n";
        blob_type_ = u"BYTEA";
    }
    section += "catalogs = Holmaview, HolmaViewBK\nlogin    = sa:$63TirMox47@$\nlogin = "
               "reader:read only\n";
    machine.write_servers_ini("; SQL Server addresses served on this test machine\n" + section);
}

void CentralDb::drop_other_sessions() {
    direct_->run(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                 database_ + u"' AND pid <> pg_backend_pid()");
}

CentralDb::~CentralDb() {
    direct_.reset();
    if (maintenance_) {
        try {
            maintenance_->run(u"DROP DATABASE IF EXISTS " + database_ + u" WITH (FORCE)");
        } catch (const VbError&) { // NOLINT(bugprone-empty-catch): the cluster goes anyway
        }
    }
}

ByteArray pattern_bytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    ByteArray bytes(n);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

void write_file(const fs::path& path, const ByteArray& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

ByteArray read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteArray(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace pelto::dbtest
