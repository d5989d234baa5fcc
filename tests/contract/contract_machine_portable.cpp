// The contract machine of the Linux build: the portable services on a temporary machine
// root, the test's folder at C:\contract.
#include "platform/portable/processes_portable.h"
#include "platform/portable/run_log_file.h"
#include "platform/portable/session_portable.h"
#include "tests/contract/contract_machine.h"
#include "tests/support/scripted_terminal.h"
#include "tests/support/temp_machine.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto::contract {

namespace fs = std::filesystem;

struct ContractMachine::Impl {
    testing::TempMachine machine;
};

ContractMachine::ContractMachine() : impl_(std::make_unique<Impl>()) {
    impl_->machine.make_folder(path());
}

ContractMachine::~ContractMachine() = default;

platform::Platform& ContractMachine::platform() {
    return impl_->machine.platform();
}

Text ContractMachine::path(TextView relative) const {
    Text out = u"C:\\contract";
    if (!relative.empty()) {
        out += u'\\';
        out += relative;
    }
    return out;
}

void ContractMachine::write_file(TextView path, std::string_view bytes) const {
    impl_->machine.write_file(path, bytes);
}

std::optional<std::string> ContractMachine::read_file(TextView path) const {
    if (!impl_->machine.exists(path)) {
        return std::nullopt;
    }
    return impl_->machine.read_file(path);
}

bool ContractMachine::exists(TextView path) const {
    return impl_->machine.exists(path);
}

void ContractMachine::make_folder(TextView path) const {
    impl_->machine.make_folder(path);
}

bool ContractMachine::make_link_to_outside(TextView path) const {
    const fs::path target = impl_->machine.outside() / "linked";
    testing::write_host_file(target / "precious.txt", "keep me");
    std::error_code ec;
    fs::create_directory_symlink(target, impl_->machine.host(path), ec);
    return !ec;
}

bool ContractMachine::make_link(TextView link, TextView target) const {
    std::error_code ec;
    fs::create_directory_symlink(impl_->machine.host(target), impl_->machine.host(link), ec);
    return !ec;
}

std::optional<std::string> ContractMachine::read_outside_precious() const {
    const fs::path file = impl_->machine.outside() / "linked" / "precious.txt";
    if (!fs::exists(file)) {
        return std::nullopt;
    }
    return testing::read_host_file(file);
}

void ContractMachine::make_folder_others_may_change(TextView path) const {
    impl_->machine.make_folder(path);
    fs::permissions(impl_->machine.host(path), fs::perms::all);
}

bool ContractMachine::only_administrators_may_read(TextView path) const {
    struct stat st {};
    return ::lstat(impl_->machine.host(path).c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

bool ContractMachine::make_hard_link(TextView file, TextView link) const {
    return ::link(impl_->machine.host(file).c_str(), impl_->machine.host(link).c_str()) == 0;
}

bool ContractMachine::a_held_folder_stays_in_place() const {
    return false;
}

std::string ContractMachine::rights(TextView path) const {
    struct stat st {};
    if (::lstat(impl_->machine.host(path).c_str(), &st) != 0) {
        return "missing";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " + mode;
}

void ContractMachine::give_distinctive_rights(TextView path) const {
    fs::permissions(impl_->machine.host(path), fs::perms(0640));
}

bool ContractMachine::make_file_link_to_outside(TextView path) const {
    const fs::path target = impl_->machine.outside() / "linked" / "precious.txt";
    testing::write_host_file(target, "keep me");
    std::error_code ec;
    fs::create_symlink(target, impl_->machine.host(path), ec);
    return !ec;
}

namespace {

class ImmutableHold final : public ContractMachine::Hold {
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
class ReadOnlyFolderHold final : public ContractMachine::Hold {
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

std::unique_ptr<ContractMachine::Hold> ContractMachine::keep_from_deletion(TextView path) const {
    const fs::path host = impl_->machine.host(path);
    if (testing::set_immutable(host, true)) {
        return std::make_unique<ImmutableHold>(host);
    }
    if (::geteuid() != 0) {
        return std::make_unique<ReadOnlyFolderHold>(host.parent_path());
    }
    return nullptr;
}

void ContractMachine::make_program(TextView path, uint32_t exit_code, bool leave_running) const {
    std::string script = "#!/bin/sh\n";
    if (leave_running) {
        // Its output goes nowhere, so that nothing waits on it for the pipes it holds.
        script += "sleep 2.5 >/dev/null 2>&1 &\n";
    }
    script += "sleep 0.3\n: > cwd.ran\n: > \"$0.ran\"\nexit " + std::to_string(exit_code) + "\n";
    impl_->machine.write_file(path, script);
    ::chmod(impl_->machine.host(path).c_str(), 0755);
}

Text ContractMachine::registry_key() const {
    Text key = u"SOFTWARE\\PeltoTest\\키";
    impl_->machine.machine().registry().create_key(key);
    return key;
}

std::optional<ContractMachine::RegistryValue>
ContractMachine::read_registry_value(TextView key, TextView name) const {
    const auto value = impl_->machine.machine().registry().read_value(key, name);
    if (!value) {
        return std::nullopt;
    }
    return RegistryValue{value->type, std::string(value->data.begin(), value->data.end())};
}

namespace {

class PortableRun final : public ContractMachine::Run {
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

std::unique_ptr<ContractMachine::Run> ContractMachine::make_run() const {
    return std::make_unique<PortableRun>(impl_->machine.machine().machine(), impl_->machine.log());
}

std::unique_ptr<platform::FileRunLogBase> ContractMachine::make_file_log(TextView path) const {
    return platform::portable::FileRunLog::at(impl_->machine.machine().machine(), path);
}

std::vector<std::string> ContractMachine::log_lines() const {
    return impl_->machine.log().lines();
}

} // namespace pelto::contract
