// The machine of this system seen through a plan (/PLAN): its services are the plan's,
// wrapped around the system's own (the portable machine on Linux, Win32Machine on
// Windows). A contract body proves on it that a planned run sees the machine as the run
// would. The set-up helpers change the machine itself, before the plan looks; the
// inspection helpers read what the plan would leave (files, rights, registry values), as
// the plan's own later reads find it.
//
// Whatever a body does through the plan, the machine stays as its set-up left it: each
// set-up helper first expects the machine unchanged since the one before, and the machine
// going expects it once more. The one exception is a file run log, which a planned run
// writes for real: a body that makes one is not watched after it.
#pragma once

#include "platform/overlay/overlay_services.h"
#include "tests/contract/system_machine.h"

#include <functional>

namespace pelto::contract {

class OverlayMachine final : public SystemMachine {
public:
    OverlayMachine();
    ~OverlayMachine() override;

    // The plan's services.
    platform::Platform& platform() override { return plan_.platform(); }
    platform::overlay::PlanPlatform& plan() { return plan_; }
    // The system's own services under the plan.
    platform::Platform& machine() { return SystemMachine::platform(); }

    // A plan never starts a program, claims no run, and changes nothing the machine could
    // refuse.
    std::optional<std::string> why_the_plan_cannot_show(RealEffect effect) const override;

    // Where the plan shows the machine, these change the machine; where it shows what the
    // plan made itself (a folder the machine does not have), the set-up lands in the plan's
    // view, unrecorded, as it would have landed in that folder on the machine.
    void write_file(TextView path, std::string_view bytes) const override;
    void make_folder(TextView path) const override;
    bool set_attributes(TextView path, uint32_t attributes) const override;
    // Set-up that only the machine can do, done there and watched.
    bool make_link_to_outside(TextView path) const override;
    bool make_file_link_to_outside(TextView path) const override;
    bool make_link(TextView link, TextView target) const override;
    bool make_hard_link(TextView existing, TextView link) const override;
    void make_folder_others_may_change(TextView path) const override;
    void give_distinctive_rights(TextView path) const override;
    std::unique_ptr<Hold> keep_from_deletion(TextView path) const override;
    void make_program(TextView path, uint32_t exit_code, bool leave_running = false) const override;
    Text registry_key() const override;
    std::unique_ptr<platform::FileRunLogBase> make_file_log(TextView path) const override;
    // Set-up through the machine's own services (machine()), watched as the helpers are.
    void set_up_on_the_machine(const std::function<void(platform::Platform&)>& step);

    std::optional<std::string> read_file(TextView path) const override;
    bool exists(TextView path) const override;
    // An entry the plan keeps with the rights of one of the machine's (its own, or the file
    // it replaced, or the entry it moved) has that entry's rights; what the plan made has the
    // rights it was made with.
    bool only_administrators_may_read(TextView path) const override;
    std::string rights(TextView path) const override;
    // The plan's view is kept by path: it moves or removes no folder it holds open.
    bool a_held_folder_stays_in_place() const override { return true; }
    std::optional<RegistryValue> read_registry_value(TextView key, TextView name) const override;

private:
    // Whether a set-up at `path` lands on the machine (see write_file).
    bool the_machine_is_shown_at(TextView path) const;

    // One set-up step: the machine is expected unchanged since the last one when it begins,
    // and is taken as set up when it ends.
    class SetUp {
    public:
        explicit SetUp(const OverlayMachine& machine);
        ~SetUp();
        SetUp(const SetUp&) = delete;
        SetUp& operator=(const SetUp&) = delete;

    private:
        const OverlayMachine& machine_;
    };
    // Expects the machine as the last set-up left it: the plan changed nothing there.
    void expect_unchanged() const;

    // The machine as its last set-up left it (snapshot()).
    mutable std::string set_up_;
    // A file run log was made: the machine is no longer watched.
    mutable bool log_written_for_real_ = false;

    // Mutable: the const set-up and inspection helpers read and fill the plan's view.
    mutable platform::overlay::PlanPlatform plan_;
};

} // namespace pelto::contract
