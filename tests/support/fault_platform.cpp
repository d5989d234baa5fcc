#include "tests/support/fault_platform.h"

#include "core/error.h"
#include "tests/support/recording.h"

#include <string>

namespace pelto::testing {

bool FaultCounter::fails(std::string_view call, TextView subject, std::string_view why) {
    if (++calls_ != fail_at_) {
        return false;
    }
    failed_ = std::string(call) + " on " + to_utf8(subject);
    log_.write(std::string(call) + " failed on " + to_utf8(subject) + ": " + std::string(why) +
               " (a fault the test put there)");
    return true;
}

namespace {

using platform::Folder;

// The failures as the systems name them.
constexpr const char* kDenied = "Access is denied";
constexpr const char* kSharing = "The process cannot access the file because another process is "
                                 "using it";
constexpr const char* kDiskFull = "There is not enough space on the disk";
constexpr const char* kNotFound = "The system cannot find the file specified";

class FaultFile final : public platform::File {
public:
    FaultFile(std::unique_ptr<platform::File> file, FaultCounter& counter, Text subject)
        : file_(std::move(file)), counter_(counter), subject_(std::move(subject)) {}
    std::optional<uint64_t> size() override {
        return counter_.fails("File.size", subject_, kDenied) ? std::nullopt : file_->size();
    }
    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        return counter_.fails("File.read", subject_, kSharing) ? std::nullopt : file_->read(buffer);
    }
    bool write(std::span<const uint8_t> data) override {
        return !counter_.fails("File.write", subject_, kDiskFull) && file_->write(data);
    }

private:
    std::unique_ptr<platform::File> file_;
    FaultCounter& counter_;
    Text subject_;
};

class FaultFolder final : public ForwardingFolder {
public:
    FaultFolder(std::unique_ptr<Folder> folder, FaultCounter& counter)
        : ForwardingFolder(std::move(folder)), counter_(counter) {}

    std::optional<uint32_t> attributes() override {
        return fails("Folder.attributes", {}, kDenied) ? std::nullopt
                                                       : ForwardingFolder::attributes();
    }
    bool set_attributes(uint32_t attributes) override {
        return !fails("Folder.set_attributes", {}, kDenied) &&
               ForwardingFolder::set_attributes(attributes);
    }
    std::optional<std::vector<platform::DirEntry>> list(TextView pattern,
                                                        uint32_t filter) override {
        if (fails("Folder.list", pattern, kDenied)) {
            return std::nullopt;
        }
        return ForwardingFolder::list(pattern, filter);
    }
    bool set_attributes(TextView name, uint32_t attributes) override {
        return !fails("Folder.set_attributes", name, kSharing) &&
               ForwardingFolder::set_attributes(name, attributes);
    }
    bool delete_files(TextView pattern) override {
        return !fails("Folder.delete_files", pattern, kSharing) &&
               ForwardingFolder::delete_files(pattern);
    }
    bool remove_link(TextView name) override {
        return !fails("Folder.remove_link", name, kDenied) && ForwardingFolder::remove_link(name);
    }
    bool remove_folder(TextView name) override {
        return !fails("Folder.remove_folder", name, kSharing) &&
               ForwardingFolder::remove_folder(name);
    }
    std::unique_ptr<Folder> open_folder(TextView name) override {
        return fails("Folder.open_folder", name, kDenied) ? nullptr
                                                          : ForwardingFolder::open_folder(name);
    }
    std::unique_ptr<platform::File> open_file(TextView name, platform::FileMode mode) override {
        if (fails("Folder.open_file", name, kSharing)) {
            return nullptr;
        }
        return wrap_file(ForwardingFolder::open_file(name, mode), name);
    }
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override {
        return !fails("Folder.replace_file", name, kSharing) &&
               ForwardingFolder::replace_file(name, bytes, attributes);
    }
    std::unique_ptr<platform::File> create_private_file(TextView name) override {
        if (fails("Folder.create_private_file", name, kDiskFull)) {
            return nullptr;
        }
        return wrap_file(ForwardingFolder::create_private_file(name), name);
    }
    platform::MadeFolder make_private_folder(TextView name,
                                             platform::PrivateAccess access) override {
        if (fails("Folder.make_private_folder", name, kDenied)) {
            return platform::MadeFolder{};
        }
        return ForwardingFolder::make_private_folder(name, access);
    }
    platform::EntryTrust trust(TextView name) override {
        if (fails("Folder.trust", name, kDenied)) {
            // Rights that cannot be read prove nothing.
            platform::EntryTrust unknown;
            unknown.exists = true;
            unknown.rule = "unreadable";
            return unknown;
        }
        return ForwardingFolder::trust(name);
    }
    bool move(TextView name, Folder& destination, TextView new_name) override {
        return !fails("Folder.move", name, kSharing) &&
               ForwardingFolder::move(name, destination, new_name);
    }
    std::optional<Text> link_target(TextView name) override {
        return fails("Folder.link_target", name, kDenied) ? std::nullopt
                                                          : ForwardingFolder::link_target(name);
    }

protected:
    std::unique_ptr<Folder> wrap(std::unique_ptr<Folder> folder) override {
        return folder ? std::make_unique<FaultFolder>(std::move(folder), counter_) : nullptr;
    }

private:
    bool fails(std::string_view call, TextView name, std::string_view why) {
        Text subject = path();
        if (!name.empty()) {
            subject += (ends_with(subject, u"\\") ? u"" : u"\\") + Text(name);
        }
        return counter_.fails(call, subject, why);
    }
    std::unique_ptr<platform::File> wrap_file(std::unique_ptr<platform::File> file, TextView name) {
        if (!file) {
            return nullptr;
        }
        return std::make_unique<FaultFile>(std::move(file), counter_, path() + u"\\" + Text(name));
    }

    FaultCounter& counter_;
};

class FaultFiles final : public ForwardingFileSystem {
public:
    FaultFiles(platform::FileSystem& files, FaultCounter& counter)
        : ForwardingFileSystem(files), counter_(counter) {}
    std::unique_ptr<Folder> open_volume(TextView volume) override {
        return counter_.fails("FileSystem.open_volume", volume, kNotFound)
                   ? nullptr
                   : ForwardingFileSystem::open_volume(volume);
    }

protected:
    std::unique_ptr<Folder> wrap(std::unique_ptr<Folder> folder) override {
        return folder ? std::make_unique<FaultFolder>(std::move(folder), counter_) : nullptr;
    }

private:
    FaultCounter& counter_;
};

class FaultKey final : public platform::RegistryKey {
public:
    FaultKey(std::unique_ptr<platform::RegistryKey> key, FaultCounter& counter, Text path)
        : key_(std::move(key)), counter_(counter), path_(std::move(path)) {}
    std::optional<platform::RegistryData> query_value(TextView name) override {
        return counter_.fails("RegQueryValueEx", path_ + u"\\" + Text(name), kDenied)
                   ? std::nullopt
                   : key_->query_value(name);
    }
    long set_value(TextView name, uint32_t type, std::span<const uint8_t> data) override {
        return counter_.fails("RegSetValueEx", path_ + u"\\" + Text(name), kDenied)
                   ? platform::kRegAccessDenied
                   : key_->set_value(name, type, data);
    }

private:
    std::unique_ptr<platform::RegistryKey> key_;
    FaultCounter& counter_;
    Text path_;
};

class FaultRegistry final : public platform::Registry {
public:
    FaultRegistry(platform::Registry& real, FaultCounter& counter)
        : real_(real), counter_(counter) {}
    long open_local_machine_key(TextView path, uint32_t access,
                                std::unique_ptr<platform::RegistryKey>& key) override {
        if (counter_.fails("RegOpenKeyEx", path, kDenied)) {
            key.reset();
            return platform::kRegAccessDenied;
        }
        const long status = real_.open_local_machine_key(path, access, key);
        if (key) {
            key = std::make_unique<FaultKey>(std::move(key), counter_, Text(path));
        }
        return status;
    }

private:
    platform::Registry& real_;
    FaultCounter& counter_;
};

class FaultProfiles final : public platform::ProfileFiles {
public:
    FaultProfiles(platform::ProfileFiles& real, FaultCounter& counter)
        : real_(real), counter_(counter) {}
    bool write_private_profile_strings(Folder& folder, TextView name, TextView section,
                                       std::span<const platform::ProfileEntry> entries) override {
        return !counter_.fails("WritePrivateProfileString", folder.path() + u"\\" + Text(name),
                               kSharing) &&
               real_.write_private_profile_strings(folder, name, section, entries);
    }

private:
    platform::ProfileFiles& real_;
    FaultCounter& counter_;
};

class FaultShell final : public platform::ShellCopy {
public:
    FaultShell(platform::ShellCopy& real, FaultCounter& counter) : real_(real), counter_(counter) {}
    int copy_file(const platform::OwnerWindow& owner, TextView source,
                  Folder& destination) override {
        constexpr int kDiskFullStatus = 112; // ERROR_DISK_FULL
        if (counter_.fails("SHFileOperation", source, kDiskFull)) {
            return kDiskFullStatus;
        }
        real_.set_unattended(unattended());
        return real_.copy_file(owner, source, destination);
    }

private:
    platform::ShellCopy& real_;
    FaultCounter& counter_;
};

class FaultProcess final : public platform::Process {
public:
    FaultProcess(std::unique_ptr<platform::Process> process, FaultCounter& counter, Text path)
        : process_(std::move(process)), counter_(counter), path_(std::move(path)) {}
    uint32_t id() const override { return process_->id(); }
    std::optional<uint32_t> wait_for_exit() override {
        if (counter_.fails("WaitForSingleObject", path_, kDenied)) {
            process_->wait_for_exit(); // the program still runs to its end
            return std::nullopt;
        }
        return process_->wait_for_exit();
    }

private:
    std::unique_ptr<platform::Process> process_;
    FaultCounter& counter_;
    Text path_;
};

class FaultProcesses final : public platform::Processes {
public:
    FaultProcesses(platform::Processes& real, FaultCounter& counter)
        : real_(real), counter_(counter) {}
    uint32_t exit_code_mask() const override { return real_.exit_code_mask(); }
    std::unique_ptr<platform::Process> start(TextView path, int show,
                                             TextView working_folder) override {
        if (counter_.fails("CreateProcess", path, "The program cannot start")) {
            throw VbError::runtime(vberr::kInvalidProcedureCall);
        }
        return std::make_unique<FaultProcess>(real_.start(path, show, working_folder), counter_,
                                              Text(path));
    }
    std::optional<std::string> cannot_start(TextView path) override {
        if (counter_.fails("cannot_start", path, "The program cannot start")) {
            return "a fault the test put there";
        }
        return real_.cannot_start(path);
    }

private:
    platform::Processes& real_;
    FaultCounter& counter_;
};

class FaultOdbc final : public platform::OdbcProviders {
public:
    FaultOdbc(platform::OdbcProviders& real, FaultCounter& counter)
        : real_(real), counter_(counter) {}
    std::variant<platform::OdbcTarget, Error> translate(TextView connection) override {
        if (counter_.fails("SQLDriverConnect", u"the database", "Communication link failure")) {
            Error lost{adoerr::kFail, u"Microsoft OLE DB Provider for SQL Server",
                       u"[DBNETLIB]Communication link failure"};
            lost.sql_state = u"08S01";
            return lost;
        }
        return real_.translate(connection);
    }

private:
    platform::OdbcProviders& real_;
    FaultCounter& counter_;
};

} // namespace

struct FaultPlatform::Services {
    Services(platform::Platform& real, FaultCounter& counter)
        : registry(real.registry, counter), profiles(real.profiles, counter),
          files(real.files, counter), shell(real.shell, counter),
          processes(real.processes, counter), odbc(real.odbc, counter) {}
    FaultRegistry registry;
    FaultProfiles profiles;
    FaultFiles files;
    FaultShell shell;
    FaultProcesses processes;
    FaultOdbc odbc;
};

FaultPlatform::FaultPlatform(platform::Platform& real, size_t fail_at)
    : counter_(fail_at, real.log), services_(std::make_unique<Services>(real, counter_)),
      platform_(std::make_unique<platform::Platform>(
          platform::with_services(real, {.registry = &services_->registry,
                                         .profiles = &services_->profiles,
                                         .files = &services_->files,
                                         .shell = &services_->shell,
                                         .processes = &services_->processes,
                                         .odbc = &services_->odbc}))) {}

FaultPlatform::~FaultPlatform() = default;

} // namespace pelto::testing
