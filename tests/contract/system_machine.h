// The machine of this system that contract tests run on: one platform's real services on
// a place of the test's own. The Linux build gives the portable machine on a temporary
// machine root; the Windows build gives the Windows services on a folder below %TEMP% and
// a key of the test's own below HKLM\SOFTWARE. OverlayMachine (overlay_machine.h) wraps it
// in a plan; what the plan sees differently, it answers itself, and it watches every set-up
// (the virtual members).
#pragma once

#include "platform/platform.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelto::contract {

// What a test body needs the machine to do for real, which a plan by design never does.
enum class RealEffect {
    ProgramRuns,    // a started program runs, leaves files, ends with its own exit code
    RunClaim,       // the machine's one run is claimed, and held by what the run started
    MachineRefuses, // the machine refuses a change (a file held or made immutable)
};

class SystemMachine {
public:
    SystemMachine();
    virtual ~SystemMachine();
    SystemMachine(const SystemMachine&) = delete;
    SystemMachine& operator=(const SystemMachine&) = delete;

    virtual platform::Platform& platform();

    // Why this machine cannot show `effect` (a body that needs it skips with the reason);
    // nullopt here: the system's own services do everything for real.
    virtual std::optional<std::string> why_the_plan_cannot_show(RealEffect effect) const;

    // The Windows path of `relative` inside the test's own folder; the folder itself,
    // without a trailing backslash, for an empty `relative`.
    Text path(TextView relative = TextView()) const;

    // Set-up and inspection beside the services, on the same files.
    virtual void write_file(TextView path, std::string_view bytes) const;
    virtual std::optional<std::string> read_file(TextView path) const;
    virtual bool exists(TextView path) const;
    virtual void make_folder(TextView path) const;
    // SetAttr of the entry at `path` by the machine's own services; false when refused.
    virtual bool set_attributes(TextView path, uint32_t attributes) const;
    // A symbolic link at `path` to a folder outside the test's folder that holds
    // "precious.txt" ("keep me"); false where this system cannot make one.
    virtual bool make_link_to_outside(TextView path) const;
    std::optional<std::string> read_outside_precious() const;
    // A symbolic link at `path` to that "precious.txt"; false where this system cannot
    // make one.
    virtual bool make_file_link_to_outside(TextView path) const;
    // A symbolic link at `link` to the folder `target` (both Windows paths of this machine);
    // false where this system cannot make one.
    virtual bool make_link(TextView link, TextView target) const;
    // A second name `link` for the file `existing` (a hard link); false where this system
    // cannot make one.
    virtual bool make_hard_link(TextView existing, TextView link) const;

    // A folder at `path` that users other than administrators may change (Windows: its
    // rights let Everyone change it; Linux: mode 0777), as another user of the
    // workstation could prepare one.
    virtual void make_folder_others_may_change(TextView path) const;
    // Whether no one but administrators (Linux: the owner) may read or change the entry
    // at `path`.
    virtual bool only_administrators_may_read(TextView path) const;
    // Whether nobody may move a folder while the run holds it open (Windows); elsewhere
    // the folder may be moved, and what is done through it is done wherever it went.
    virtual bool a_held_folder_stays_in_place() const;
    // The owner and access rights of the entry at `path` as text to compare (Windows: the
    // owner and DACL in SDDL; Linux: owner, group and mode).
    virtual std::string rights(TextView path) const;
    // Gives the file at `path` rights that no new file beside it would get (Windows: a
    // protected DACL of its own that Everyone is not in; Linux: mode 0640).
    virtual void give_distinctive_rights(TextView path) const;

    // Keeps the file at `path` from being deleted while the returned object lives: held
    // open without sharing on Windows, made immutable on Linux. Null where this system
    // gives the test no way to do it.
    class Hold {
    public:
        virtual ~Hold() = default;
    };
    virtual std::unique_ptr<Hold> keep_from_deletion(TextView path) const;

    // A program at `path` that leaves "<path>.ran" beside itself and "cwd.ran" in its
    // current folder after a moment and ends with `exit_code`; with `leave_running`, it
    // first starts a program that outlives it by a few seconds and then ends by itself.
    virtual void make_program(TextView path, uint32_t exit_code, bool leave_running = false) const;

    // A registry key of the test's own below HKEY_LOCAL_MACHINE (its path for
    // open_local_machine_key), created empty; removed with the machine.
    virtual Text registry_key() const;
    struct RegistryValue {
        uint32_t type = 0;
        std::string data; // as a Korean system's RegQueryValueExA gives it
        bool operator==(const RegistryValue&) const = default;
    };
    virtual std::optional<RegistryValue> read_registry_value(TextView key, TextView name) const;

    // Everything of the machine the test may change, read on the machine itself, as text to
    // compare: every entry of the test's folders (and of the folder outside it) with its
    // bytes, attributes or mode, owner and rights, and times, and the registry the test's
    // key is in. Reading it changes nothing.
    std::string snapshot() const;

    // A run of this machine as its own process would have it: its session, and the
    // programs it starts, which hold its claim. The object going is that process ending.
    class Run {
    public:
        virtual ~Run() = default;
        virtual platform::Session& session() = 0;
        virtual platform::Processes& processes() = 0;
    };
    std::unique_ptr<Run> make_run() const;

    // A file run log of this platform at `path`, as the program makes its own.
    virtual std::unique_ptr<platform::FileRunLogBase> make_file_log(TextView path) const;
    // The lines the services wrote into the machine's run log so far.
    std::vector<std::string> log_lines() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// FNV-1a, 64 bits, in 16 hexadecimal digits: a file's bytes in a line of a snapshot.
std::string digest(std::string_view bytes);

} // namespace pelto::contract
