// What the database tests share: a temporary machine root, small recording fakes of
// the platform's other services, direct ODBC access for setting databases up, and the
// two test databases (SQLite through its ODBC driver, PostgreSQL in the throw-away
// cluster that the test fixture starts).
#pragma once

#include "db/ado/ado.h"
#include "db/cls_db_mng.h"
#include "platform/platform.h"
#include "platform/portable/machine_root.h"
#include "platform/portable/odbc_providers_portable.h"

#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace pelto::dbtest {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct ShownMessage {
    Text text;
    platform::MessageIcon icon;
    Text caption;
};

class RecordingUi final : public platform::UserInterface {
public:
    void message_box(TextView text, platform::MessageIcon icon, TextView caption) override {
        messages.push_back({Text(text), icon, Text(caption)});
    }
    Text input_box(TextView, TextView) override { return Text(); }
    void set_busy_pointer(bool busy) override { pointer.push_back(busy); }
    void show_warning_form(const platform::WarningFormDesign&) override {}
    std::unique_ptr<platform::OwnerWindow> create_hidden_window() override { return nullptr; }

    std::vector<ShownMessage> messages;
    std::vector<bool> pointer; // every change of the busy pointer, in order
};

class RecordingLog final : public platform::RunLog {
public:
    void write(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

// Windows paths "C:\..." on the folder drive_c below a host folder. Files marked hidden
// are skipped by listings without the hidden filter, as Dir skips them. Records the size
// of every read, so that the tests can see how a file is streamed.
class FakeFiles final : public platform::FileSystem {
public:
    explicit FakeFiles(std::filesystem::path root) : root_(std::move(root)) {}
    std::filesystem::path host(TextView windows_path) const;

    std::vector<platform::DirEntry> list(TextView pattern, uint32_t attribute_filter) override;
    std::optional<uint32_t> get_attributes(TextView path) override;
    bool set_attributes(TextView path, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    bool remove_link(TextView) override { return false; }
    bool create_directory(TextView path) override;
    bool create_private_directory(TextView path) override { return create_directory(path); }
    bool remove_directory(TextView) override { return false; }
    std::unique_ptr<platform::File> open_file(TextView path, platform::FileMode mode) override;
    Text program_folder() override { return program_folder_text; }

    Text program_folder_text = u"C:\\PeltoUserInstall_H";
    std::vector<size_t> read_sizes;

private:
    std::filesystem::path root_;
    std::map<std::string, uint32_t> attributes_;
};

class NullRegistry final : public platform::Registry {
public:
    long open_local_machine_key(TextView, uint32_t,
                                std::unique_ptr<platform::RegistryKey>&) override {
        return platform::kRegFileNotFound;
    }
};
class NullProfiles final : public platform::ProfileFiles {
public:
    bool write_private_profile_string(TextView, TextView, TextView, TextView) override {
        return false;
    }
};
class NullShell final : public platform::ShellCopy {
public:
    int copy_file(const platform::OwnerWindow&, TextView, TextView) override { return 1; }
};
class NullProcesses final : public platform::Processes {
public:
    std::unique_ptr<platform::Process> start(TextView, int) override {
        throw VbError::runtime(vberr::kFileNotFound);
    }
};

// ODBC connection strings handed to the driver manager as they are (for setting up
// test databases, never for the manager under test).
class PassThroughProviders final : public platform::OdbcProviders {
public:
    std::variant<platform::OdbcTarget, Error> translate(TextView s) override {
        return platform::OdbcTarget{Text(s), Text()};
    }
};

// A throw-away machine root with its own servers.ini and ConnectTo aliases, and a
// Platform whose database side is the real portable provider layer.
class TestMachine {
    TempDir dir_; // first: everything below lives in it

public:
    TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;
    ~TestMachine();
    const std::filesystem::path& root() const { return dir_.path(); }
    void write_servers_ini(const std::string& text) const;
    std::map<Text, Text> aliases; // ConnectTo: alias name -> "DBMSSOCN,host,port"

    platform::Platform& platform() { return platform_; }
    RecordingUi ui;
    RecordingLog log;
    FakeFiles files;
    platform::portable::MachineRoot machine;
    platform::portable::PortableOdbcProviders odbc;

private:
    NullRegistry registry_;
    NullProfiles profiles_;
    NullShell shell_;
    NullProcesses processes_;
    platform::Platform platform_;
    std::optional<std::string> previous_tmpdir_;
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

// The Unix socket folder of the test cluster; empty when it is not running.
std::string postgres_socket_folder();

// Bytes 0..n-1 of a reproducible pattern.
ByteArray pattern_bytes(size_t n, uint32_t seed = 1);
void write_file(const std::filesystem::path& path, const ByteArray& bytes);
ByteArray read_file(const std::filesystem::path& path);

} // namespace pelto::dbtest
