// The rest of the platform as a planned run sees it: the registry, the settings files,
// the shell copy and the programs read through to the machine and keep every write in the
// plan; the dialogs record what they would show; the database is reached for real (a
// connection changes nothing), with the client aliases the run would have written by
// then. Together with OverlayFileSystem they make the platform of /PLAN.
#pragma once

#include "platform/overlay/overlay_files.h"
#include "platform/overlay/plan_record.h"
#include "platform/platform.h"
#include "platform/profile_write.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace pelto::platform::overlay {

class OverlayRegistry final : public Registry {
public:
    OverlayRegistry(Registry& real, PlanRecord& plan) : real_(real), plan_(plan) {}
    long open_local_machine_key(TextView path, uint32_t access,
                                std::unique_ptr<RegistryKey>& key) override;

    // A value as the planned run leaves it: what it wrote, else the machine's own.
    std::optional<RegistryData> value(TextView key_path, TextView value_name);
    // A value the planned run wrote; nullopt when it wrote none.
    std::optional<RegistryData> written(TextView key_path, TextView value_name) const;

private:
    friend class OverlayKey;
    Registry& real_;
    PlanRecord& plan_;
    std::map<std::pair<Text, Text>, RegistryData> written_; // by upper-cased key and name
};

// The settings files the run writes: the one writer, on the plan's folders, with each key
// recorded beside its value in the file the machine has today.
class OverlayProfiles final : public ProfileFiles {
public:
    OverlayProfiles(OverlayFileSystem& files, PlanRecord& plan, RunLog& log)
        : files_(files), plan_(plan), writer_(log) {}
    bool write_private_profile_strings(Folder& folder, TextView name, TextView section,
                                       std::span<const ProfileEntry> entries) override;

private:
    OverlayFileSystem& files_;
    PlanRecord& plan_;
    FolderProfiles writer_;
};

class OverlayShellCopy final : public ShellCopy {
public:
    OverlayShellCopy(OverlayFileSystem& files, PlanRecord& plan) : files_(files), plan_(plan) {}
    int copy_file(const OwnerWindow& owner, TextView source_file, Folder& destination) override;

private:
    OverlayFileSystem& files_;
    PlanRecord& plan_;
};

// Programs are never started, but a program that could not be started stops the plan as
// it would stop the run (the file the plan copied is judged by the machine's own rule). The
// installer's own effects cannot be foreseen: the plan goes on as if it had completed and
// made C:\Pelto_H\bin, as the suite's installer does.
class OverlayProcesses final : public Processes {
public:
    OverlayProcesses(OverlayFileSystem& files, Processes& real, PlanRecord& plan)
        : files_(files), real_(real), plan_(plan) {}
    std::unique_ptr<Process> start(TextView path, int show_command,
                                   TextView working_folder) override;
    std::optional<std::string> cannot_start(TextView path) override;
    uint32_t exit_code_mask() const override { return real_.exit_code_mask(); }

    // After a program of that name has "run", the plan takes `folder` to exist.
    void assume_after(TextView program_name, TextView folder);

private:
    OverlayFileSystem& files_;
    Processes& real_;
    PlanRecord& plan_;
    std::vector<std::pair<Text, Text>> assumed_; // upper-cased program name, folder
};

// Messages and the warning window are recorded, not shown; the input box and the busy
// pointer are the person's own.
class PlanUserInterface final : public UserInterface {
public:
    PlanUserInterface(UserInterface& real, PlanRecord& plan) : real_(real), plan_(plan) {}
    void message_box(TextView text, MessageIcon icon, TextView caption) override;
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override;
    void show_warning_form(const WarningFormDesign& design) override;
    std::unique_ptr<OwnerWindow> create_hidden_window() override;
    void show_report(TextView text, TextView caption) override;

private:
    UserInterface& real_;
    PlanRecord& plan_;
};

// The database as the planned run would meet it: a SQL Server name for which the plan
// wrote a client alias is reached at the alias's address, as the client library would
// after the real run wrote it.
class OverlayOdbc final : public OdbcProviders {
public:
    OverlayOdbc(OdbcProviders& real, OverlayRegistry& registry)
        : real_(real), registry_(registry) {}
    std::variant<OdbcTarget, Error> translate(TextView ado_connection_string) override;

private:
    OdbcProviders& real_;
    OverlayRegistry& registry_;
};

// Every line the planned run writes goes to the real run log marked as a plan's.
class PlanRunLog final : public RunLog {
public:
    explicit PlanRunLog(RunLog& real) : real_(real) {}
    void write(std::string_view line) override;

private:
    RunLog& real_;
};

// The whole platform of a planned run over the real one.
class PlanPlatform {
public:
    explicit PlanPlatform(Platform& real);
    PlanPlatform(const PlanPlatform&) = delete;
    PlanPlatform& operator=(const PlanPlatform&) = delete;

    Platform& platform() { return platform_; }
    const PlanRecord& record() const { return record_; }
    OverlayRegistry& registry() { return registry_; }
    OverlayFileSystem& files() { return files_; }
    OverlayProcesses& processes() { return processes_; }

private:
    PlanRecord record_;
    PlanRunLog log_;
    OverlayFileSystem files_;
    OverlayRegistry registry_;
    OverlayProfiles profiles_;
    OverlayShellCopy shell_;
    OverlayProcesses processes_;
    PlanUserInterface ui_;
    OverlayOdbc odbc_;
    Platform platform_;
};

} // namespace pelto::platform::overlay
