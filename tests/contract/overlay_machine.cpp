#include "tests/contract/overlay_machine.h"

#include "platform/windows_path.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace pelto::contract {

namespace {

using Entry = platform::overlay::OverlayFileSystem::Entry;

// The lines of `text`, each once.
std::set<std::string> lines_of(const std::string& text) {
    std::set<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.insert(line);
    }
    return out;
}

// The lines of `from` that `to` does not have, each marked with `mark`.
std::string lines_gone(const std::set<std::string>& from, const std::set<std::string>& to,
                       const char* mark) {
    std::string out;
    for (const std::string& line : from) {
        if (to.count(line) == 0) {
            out += mark + line + "\n";
        }
    }
    return out;
}

} // namespace

OverlayMachine::OverlayMachine() : set_up_(snapshot()), plan_(SystemMachine::platform()) {}

OverlayMachine::~OverlayMachine() {
    if (!log_written_for_real_) {
        expect_unchanged();
    }
}

OverlayMachine::SetUp::SetUp(const OverlayMachine& machine) : machine_(machine) {
    if (!machine_.log_written_for_real_) {
        machine_.expect_unchanged();
    }
}

OverlayMachine::SetUp::~SetUp() {
    machine_.set_up_ = machine_.snapshot();
}

void OverlayMachine::expect_unchanged() const {
    const std::string now = snapshot();
    if (now == set_up_) {
        return;
    }
    const std::set<std::string> before = lines_of(set_up_);
    const std::set<std::string> after = lines_of(now);
    ADD_FAILURE() << "the plan changed the machine under it (- as set up, + now):\n"
                  << lines_gone(before, after, "- ") << lines_gone(after, before, "+ ");
    // One report for one change.
    set_up_ = now;
}

void OverlayMachine::set_up_on_the_machine(const std::function<void(platform::Platform&)>& step) {
    const SetUp watched(*this);
    step(machine());
}

bool OverlayMachine::make_link_to_outside(TextView path) const {
    const SetUp watched(*this);
    return SystemMachine::make_link_to_outside(path);
}

bool OverlayMachine::make_file_link_to_outside(TextView path) const {
    const SetUp watched(*this);
    return SystemMachine::make_file_link_to_outside(path);
}

bool OverlayMachine::make_link(TextView link, TextView target) const {
    const SetUp watched(*this);
    return SystemMachine::make_link(link, target);
}

bool OverlayMachine::make_hard_link(TextView existing, TextView link) const {
    const SetUp watched(*this);
    return SystemMachine::make_hard_link(existing, link);
}

void OverlayMachine::make_folder_others_may_change(TextView path) const {
    const SetUp watched(*this);
    SystemMachine::make_folder_others_may_change(path);
}

void OverlayMachine::give_distinctive_rights(TextView path) const {
    const SetUp watched(*this);
    SystemMachine::give_distinctive_rights(path);
}

std::unique_ptr<SystemMachine::Hold> OverlayMachine::keep_from_deletion(TextView path) const {
    // Letting go of the file is set-up too (on Linux it changes the file's status).
    class WatchedHold final : public Hold {
    public:
        WatchedHold(const OverlayMachine& machine, std::unique_ptr<Hold> held)
            : machine_(machine), held_(std::move(held)) {}
        ~WatchedHold() override {
            const SetUp watched(machine_);
            held_.reset();
        }
        WatchedHold(const WatchedHold&) = delete;
        WatchedHold& operator=(const WatchedHold&) = delete;

    private:
        const OverlayMachine& machine_;
        std::unique_ptr<Hold> held_;
    };
    const SetUp watched(*this);
    std::unique_ptr<Hold> held = SystemMachine::keep_from_deletion(path);
    return held ? std::make_unique<WatchedHold>(*this, std::move(held)) : nullptr;
}

void OverlayMachine::make_program(TextView path, uint32_t exit_code, bool leave_running) const {
    const SetUp watched(*this);
    SystemMachine::make_program(path, exit_code, leave_running);
}

Text OverlayMachine::registry_key() const {
    const SetUp watched(*this);
    return SystemMachine::registry_key();
}

std::unique_ptr<platform::FileRunLogBase> OverlayMachine::make_file_log(TextView path) const {
    const SetUp watched(*this);
    log_written_for_real_ = true;
    return SystemMachine::make_file_log(path);
}

std::optional<std::string> OverlayMachine::why_the_plan_cannot_show(RealEffect effect) const {
    switch (effect) {
    case RealEffect::ProgramRuns:
        return "a plan starts no program: it runs nothing, waits for nothing and sees no exit "
               "code";
    case RealEffect::RunClaim:
        return "a plan claims no run, and starts nothing that could hold one";
    case RealEffect::MachineRefuses:
        return "a plan changes nothing on the machine, so nothing there can refuse it";
    }
    return std::nullopt;
}

bool OverlayMachine::the_machine_is_shown_at(TextView path) const {
    const std::optional<platform::WindowsPath> parsed = platform::parse_windows_path(path);
    if (!parsed) {
        return true;
    }
    platform::overlay::OverlayFileSystem& files = plan_.files();
    for (size_t count = parsed->names.size(); count > 0; --count) {
        const Text at = parsed->prefix(count);
        const Entry e = files.look_up(at);
        if (files.changed_by_plan(at)) {
            return e.kind != Entry::Kind::Absent && e.real && equals_ignore_case(e.origin, at);
        }
        if (e.kind != Entry::Kind::Absent) {
            return true; // the machine's own entry, where it is on the machine
        }
    }
    return true;
}

void OverlayMachine::write_file(TextView path, std::string_view bytes) const {
    const SetUp watched(*this);
    if (the_machine_is_shown_at(path)) {
        SystemMachine::write_file(path, bytes);
        return;
    }
    const std::optional<platform::FolderAndName> at = platform::split_folder_and_name(path);
    make_folder(at->folder);
    plan_.files().put_file(path, std::string(bytes), platform::attr::kArchive);
}

void OverlayMachine::make_folder(TextView path) const {
    const SetUp watched(*this);
    if (the_machine_is_shown_at(path)) {
        SystemMachine::make_folder(path);
        return;
    }
    // Each folder on the way that the view does not have, as the machine's make_folder
    // makes them.
    const std::optional<platform::WindowsPath> parsed = platform::parse_windows_path(path);
    for (size_t count = 1; count <= parsed->names.size(); ++count) {
        plan_.files().ensure_folder(parsed->prefix(count));
    }
}

bool OverlayMachine::set_attributes(TextView path, uint32_t attributes) const {
    const SetUp watched(*this);
    if (the_machine_is_shown_at(path)) {
        return SystemMachine::set_attributes(path, attributes);
    }
    return plan_.files().set_attributes(path, attributes);
}

std::optional<std::string> OverlayMachine::read_file(TextView path) const {
    return plan_.files().read_bytes(path);
}

bool OverlayMachine::exists(TextView path) const {
    return plan_.files().look_up(path).kind != Entry::Kind::Absent;
}

bool OverlayMachine::only_administrators_may_read(TextView path) const {
    const Entry e = plan_.files().look_up(path);
    if (!e.rights_of.empty()) {
        return SystemMachine::only_administrators_may_read(e.rights_of);
    }
    return e.access == platform::PrivateAccess::AdministratorsOnly;
}

std::string OverlayMachine::rights(TextView path) const {
    const Entry e = plan_.files().look_up(path);
    if (e.kind == Entry::Kind::Absent) {
        return "missing";
    }
    if (!e.rights_of.empty()) {
        return SystemMachine::rights(e.rights_of);
    }
    if (!e.access) {
        return "made by the plan, with the rights of its folder";
    }
    return *e.access == platform::PrivateAccess::AdministratorsOnly
               ? "made by the plan: administrators only"
               : "made by the plan: administrators change it, users read it";
}

std::optional<SystemMachine::RegistryValue>
OverlayMachine::read_registry_value(TextView key, TextView name) const {
    const std::optional<platform::RegistryData> value = plan_.registry().value(key, name);
    if (!value) {
        return std::nullopt;
    }
    return RegistryValue{value->type, std::string(value->data.begin(), value->data.end())};
}

} // namespace pelto::contract
