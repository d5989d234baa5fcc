#include "tests/db/db_test_support.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
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

TempDir::TempDir() {
    // The system's folder as the process found it; tests point TMPDIR elsewhere.
    static const fs::path base = fs::temp_directory_path();
    std::string pattern = (base / "pelto-db-test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path FakeFiles::host(TextView windows_path) const {
    Text path(windows_path);
    if (path.size() >= 2 && path[1] == u':') {
        path = path.substr(2);
    }
    std::string relative = to_utf8(replace_all(path, u"\\", u"/"));
    while (!relative.empty() && relative.front() == '/') {
        relative.erase(0, 1);
    }
    return root_ / "drive_c" / relative;
}

std::vector<platform::DirEntry> FakeFiles::list(TextView pattern, uint32_t attribute_filter) {
    const fs::path file = host(pattern);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return {};
    }
    const uint32_t attributes = *get_attributes(pattern);
    if (!platform::dir_filter_passes(attributes, attribute_filter)) {
        return {};
    }
    return {{from_utf8(file.filename().string()), attributes}};
}

std::optional<uint32_t> FakeFiles::get_attributes(TextView path) {
    const fs::path file = host(path);
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        return std::nullopt;
    }
    if (fs::is_directory(file, ec)) {
        return platform::attr::kDirectory;
    }
    const auto it = attributes_.find(file.string());
    return it == attributes_.end() ? platform::attr::kArchive : it->second;
}

bool FakeFiles::set_attributes(TextView path, uint32_t attributes) {
    attributes_[host(path).string()] = attributes;
    return true;
}

bool FakeFiles::delete_files(TextView pattern) {
    const fs::path file = host(pattern);
    const auto attributes = get_attributes(pattern);
    if (!attributes || (*attributes & platform::attr::kReadOnly) != 0) {
        return false;
    }
    std::error_code ec;
    attributes_.erase(file.string());
    return fs::remove(file, ec);
}

bool FakeFiles::create_directory(TextView path) {
    std::error_code ec;
    return fs::create_directories(host(path), ec);
}

namespace {

class FakeFile final : public platform::File {
public:
    FakeFile(std::fstream stream, std::vector<size_t>& reads)
        : stream_(std::move(stream)), reads_(reads) {}
    std::optional<uint64_t> size() override {
        const auto here = stream_.tellg();
        stream_.seekg(0, std::ios::end);
        const auto end = stream_.tellg();
        stream_.seekg(here);
        return static_cast<uint64_t>(end);
    }
    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        reads_.push_back(buffer.size());
        stream_.read(reinterpret_cast<char*>(buffer.data()),
                     static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<size_t>(stream_.gcount());
        stream_.clear();
        return got;
    }
    bool write(std::span<const uint8_t> data) override {
        stream_.write(reinterpret_cast<const char*>(data.data()),
                      static_cast<std::streamsize>(data.size()));
        return static_cast<bool>(stream_);
    }

private:
    std::fstream stream_;
    std::vector<size_t>& reads_;
};

} // namespace

std::unique_ptr<platform::File> FakeFiles::open_file(TextView path, platform::FileMode mode) {
    const fs::path file = host(path);
    std::error_code ec;
    if (mode == platform::FileMode::Read) {
        if (!fs::is_regular_file(file, ec)) {
            return nullptr;
        }
        std::fstream in(file, std::ios::in | std::ios::binary);
        return in ? std::make_unique<FakeFile>(std::move(in), read_sizes) : nullptr;
    }
    if (!fs::exists(file, ec)) {
        std::ofstream(file, std::ios::binary).close();
    }
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    return io ? std::make_unique<FakeFile>(std::move(io), read_sizes) : nullptr;
}

TestMachine::TestMachine()
    : files(dir_.path()), machine(dir_.path()),
      odbc(machine,
           [this](TextView alias) -> std::optional<Text> {
               const auto it = aliases.find(Text(alias));
               return it == aliases.end() ? std::nullopt : std::optional<Text>(it->second);
           }),
      platform_{registry_, profiles_, files, shell_, processes_, ui, odbc, log} {
    fs::create_directories(dir_.path() / "drive_c");
    fs::create_directories(dir_.path() / "network");
    fs::create_directories(dir_.path() / "central");
    // Spilled field content goes to this test's own folder.
    fs::create_directories(dir_.path() / "tmp");
    if (const char* previous = std::getenv("TMPDIR")) {
        previous_tmpdir_ = previous;
    }
    setenv("TMPDIR", (dir_.path() / "tmp").c_str(), 1);
}

TestMachine::~TestMachine() {
    if (previous_tmpdir_) {
        setenv("TMPDIR", previous_tmpdir_->c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

void TestMachine::write_servers_ini(const std::string& text) const {
    std::ofstream(dir_.path() / "network" / "servers.ini", std::ios::binary) << text;
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
    machine.aliases[kAlias] = u"DBMSSOCN,127.0.0.12,4181";
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
