// The machine of the Linux build: the portable services on a temporary machine root, the
// test's folder at C:\contract.
#include "platform/portable/processes_portable.h"
#include "platform/portable/run_log_file.h"
#include "platform/portable/session_portable.h"
#include "tests/contract/system_machine.h"
#include "tests/support/scripted_terminal.h"
#include "tests/support/temp_machine.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace pelto::contract {

namespace fs = std::filesystem;

struct SystemMachine::Impl {
    testing::TempMachine machine;
};

SystemMachine::SystemMachine() : impl_(std::make_unique<Impl>()) {
    impl_->machine.make_folder(path());
}

SystemMachine::~SystemMachine() = default;

platform::Platform& SystemMachine::platform() {
    return impl_->machine.platform();
}

Text SystemMachine::path(TextView relative) const {
    Text out = u"C:\\contract";
    if (!relative.empty()) {
        out += u'\\';
        out += relative;
    }
    return out;
}

void SystemMachine::write_file(TextView path, std::string_view bytes) const {
    impl_->machine.write_file(path, bytes);
}

std::optional<std::string> SystemMachine::read_file(TextView path) const {
    if (!impl_->machine.exists(path)) {
        return std::nullopt;
    }
    return impl_->machine.read_file(path);
}

bool SystemMachine::exists(TextView path) const {
    return impl_->machine.exists(path);
}

void SystemMachine::make_folder(TextView path) const {
    impl_->machine.make_folder(path);
}

bool SystemMachine::set_attributes(TextView path, uint32_t attributes) const {
    return platform::paths(impl_->machine.platform()).set_attributes(path, attributes);
}

bool SystemMachine::make_link_to_outside(TextView path) const {
    const fs::path target = impl_->machine.outside() / "linked";
    testing::write_host_file(target / "precious.txt", "keep me");
    std::error_code ec;
    fs::create_directory_symlink(target, impl_->machine.host(path), ec);
    return !ec;
}

bool SystemMachine::make_link(TextView link, TextView target) const {
    std::error_code ec;
    fs::create_directory_symlink(impl_->machine.host(target), impl_->machine.host(link), ec);
    return !ec;
}

std::optional<std::string> SystemMachine::read_outside_precious() const {
    const fs::path file = impl_->machine.outside() / "linked" / "precious.txt";
    if (!fs::exists(file)) {
        return std::nullopt;
    }
    return testing::read_host_file(file);
}

void SystemMachine::make_folder_others_may_change(TextView path) const {
    impl_->machine.make_folder(path);
    fs::permissions(impl_->machine.host(path), fs::perms::all);
}

bool SystemMachine::only_administrators_may_read(TextView path) const {
    struct stat st {};
    return ::lstat(impl_->machine.host(path).c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

bool SystemMachine::make_hard_link(TextView file, TextView link) const {
    return ::link(impl_->machine.host(file).c_str(), impl_->machine.host(link).c_str()) == 0;
}

bool SystemMachine::a_held_folder_stays_in_place() const {
    return false;
}

std::string SystemMachine::rights(TextView path) const {
    struct stat st {};
    if (::lstat(impl_->machine.host(path).c_str(), &st) != 0) {
        return "missing";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " + mode;
}

void SystemMachine::give_distinctive_rights(TextView path) const {
    fs::permissions(impl_->machine.host(path), fs::perms(0640));
}

bool SystemMachine::make_file_link_to_outside(TextView path) const {
    const fs::path target = impl_->machine.outside() / "linked" / "precious.txt";
    testing::write_host_file(target, "keep me");
    std::error_code ec;
    fs::create_symlink(target, impl_->machine.host(path), ec);
    return !ec;
}

namespace {

class ImmutableHold final : public SystemMachine::Hold {
public:
    explicit ImmutableHold(fs::path path) : path_(std::move(path)) {}
    ~ImmutableHold() override { testing::set_immutable(path_, false); }
    ImmutableHold(const ImmutableHold&) = delete;
    ImmutableHold& operator=(const ImmutableHold&) = delete;

private:
    fs::path path_;
};

// Without the immutable flag (not root, or a file system without it), a folder without
// write permission keeps its files from an ordinary user.
class ReadOnlyFolderHold final : public SystemMachine::Hold {
public:
    explicit ReadOnlyFolderHold(fs::path folder) : folder_(std::move(folder)) {
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    }
    ~ReadOnlyFolderHold() override { fs::permissions(folder_, fs::perms::owner_all); }
    ReadOnlyFolderHold(const ReadOnlyFolderHold&) = delete;
    ReadOnlyFolderHold& operator=(const ReadOnlyFolderHold&) = delete;

private:
    fs::path folder_;
};

} // namespace

std::unique_ptr<SystemMachine::Hold> SystemMachine::keep_from_deletion(TextView path) const {
    const fs::path host = impl_->machine.host(path);
    if (testing::set_immutable(host, true)) {
        return std::make_unique<ImmutableHold>(host);
    }
    if (::geteuid() != 0) {
        return std::make_unique<ReadOnlyFolderHold>(host.parent_path());
    }
    return nullptr;
}

void SystemMachine::make_program(TextView path, uint32_t exit_code, bool leave_running) const {
    std::string script = "#!/bin/sh\n";
    if (leave_running) {
        // Its output goes nowhere, so that nothing waits on it for the pipes it holds.
        script += "sleep 2.5 >/dev/null 2>&1 &\n";
    }
    script += "sleep 0.3\n: > cwd.ran\n: > \"$0.ran\"\nexit " + std::to_string(exit_code) + "\n";
    impl_->machine.write_file(path, script);
    ::chmod(impl_->machine.host(path).c_str(), 0755);
}

Text SystemMachine::registry_key() const {
    Text key = u"SOFTWARE\\PeltoTest\\키";
    impl_->machine.machine().registry().create_key(key);
    return key;
}

std::optional<SystemMachine::RegistryValue>
SystemMachine::read_registry_value(TextView key, TextView name) const {
    const auto value = impl_->machine.machine().registry().read_value(key, name);
    if (!value) {
        return std::nullopt;
    }
    return RegistryValue{value->type, std::string(value->data.begin(), value->data.end())};
}

namespace {

// Every extended attribute of the entry itself (user.DOSATTRIB among them), name and value.
std::string extended_attributes(const fs::path& path) {
    std::string names(4096, '\0');
    const ssize_t length = ::llistxattr(path.c_str(), names.data(), names.size());
    if (length < 0) {
        return "(unreadable)";
    }
    std::vector<std::string> found;
    for (size_t at = 0; at < static_cast<size_t>(length); at += found.back().size() + 1) {
        found.emplace_back(names.c_str() + at);
    }
    std::sort(found.begin(), found.end());
    std::string out;
    for (const std::string& name : found) {
        std::string value(4096, '\0');
        const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
        value.resize(size < 0 ? 0 : static_cast<size_t>(size));
        out += " " + name + "=" + digest(value);
    }
    return out;
}

// One line for the entry: its kind, mode, owner, size, times but the last access, extended
// attributes, and its bytes or where it leads.
std::string entry_line(const fs::path& base, const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return path.lexically_relative(base).string() + " unreadable\n";
    }
    char line[256];
    std::snprintf(line, sizeof line, " %06o %u:%u %lld m%lld.%09ld c%lld.%09ld",
                  static_cast<unsigned>(st.st_mode), static_cast<unsigned>(st.st_uid),
                  static_cast<unsigned>(st.st_gid), static_cast<long long>(st.st_size),
                  static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                  static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec);
    std::string out = path.lexically_relative(base).string() + line + extended_attributes(path);
    if (S_ISREG(st.st_mode)) {
        out += " bytes " + digest(testing::read_host_file(path));
    } else if (S_ISLNK(st.st_mode)) {
        out += " -> " + fs::read_symlink(path).string();
    }
    return out + "\n";
}

std::string tree_lines(const fs::path& top) {
    std::vector<fs::path> entries{top};
    std::error_code ec;
    for (fs::recursive_directory_iterator it(top, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    std::string out;
    for (const fs::path& entry : entries) {
        out += entry_line(top.parent_path(), entry);
    }
    return out;
}

} // namespace

std::string SystemMachine::snapshot() const {
    // The whole machine root (its registry file among it) and the folder beside it.
    return tree_lines(impl_->machine.root()) + tree_lines(impl_->machine.outside());
}

namespace {

class PortableRun final : public SystemMachine::Run {
public:
    PortableRun(const platform::portable::MachineRoot& machine, platform::RunLog& log)
        : session_(machine, log, claim_), processes_(machine, log, terminal_, claim_) {}
    platform::Session& session() override { return session_; }
    platform::Processes& processes() override { return processes_; }

private:
    testing::ScriptedTerminal terminal_;
    platform::portable::HeldRunClaim claim_;
    platform::portable::PortableSession session_;
    platform::portable::PortableProcesses processes_;
};

} // namespace

std::unique_ptr<SystemMachine::Run> SystemMachine::make_run() const {
    return std::make_unique<PortableRun>(impl_->machine.machine().machine(), impl_->machine.log());
}

std::unique_ptr<platform::FileRunLogBase> SystemMachine::make_file_log(TextView path) const {
    return platform::portable::FileRunLog::at(impl_->machine.machine().machine(), path);
}

std::vector<std::string> SystemMachine::log_lines() const {
    return impl_->machine.log().lines();
}

} // namespace pelto::contract
