// Stand-ins for the parts of the platform that talk to a person: a run log kept in
// memory and dialogs that record what they were asked and answer from a script. Built on
// both platforms, for every suite that gives the code under test a platform of its own.
#pragma once

#include "platform/filesystem.h"
#include "platform/run_log.h"
#include "platform/session.h"
#include "platform/ui.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelto::testing {

class MemoryRunLog final : public platform::RunLog {
public:
    void write(std::string_view line) override { lines_.emplace_back(line); }
    const std::vector<std::string>& lines() const { return lines_; }
    // Whether some line holds `part`; how many do.
    bool contains(std::string_view part) const { return count(part) > 0; }
    size_t count(std::string_view part) const;
    void clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

class RecordingUserInterface final : public platform::UserInterface {
public:
    struct Message {
        Text text;
        platform::MessageIcon icon;
        Text caption;
    };

    void message_box(TextView text, platform::MessageIcon icon, TextView caption) override;
    // Answers with the next of `answers`; "" (Cancel) once they run out.
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override { pointer.push_back(busy); }
    void show_warning_form(const platform::WarningFormDesign& design) override;
    std::unique_ptr<platform::OwnerWindow> create_hidden_window() override;
    void show_report(TextView text, TextView) override { reports.emplace_back(text); }

    std::deque<Text> answers;
    std::vector<Message> messages;
    std::vector<Text> prompts;
    std::vector<bool> pointer;
    std::vector<Text> warning_forms; // the caption of each warning window shown
    std::vector<Text> reports;       // each report shown
    int windows_created = 0;         // hidden owner windows asked for
};

// A folder that passes every call to another one: the base of decorators of open folders.
// The folders it opens or makes are passed through wrap(), so that a decorator reaches
// every folder below the one it was given.
class ForwardingFolder : public platform::Folder {
public:
    explicit ForwardingFolder(std::unique_ptr<platform::Folder> folder)
        : folder_(std::move(folder)) {}

    const Text& path() const override { return folder_->path(); }
    std::optional<uint32_t> attributes() override { return folder_->attributes(); }
    bool set_attributes(uint32_t attributes) override {
        return folder_->set_attributes(attributes);
    }
    std::optional<std::vector<platform::DirEntry>> list(TextView pattern,
                                                        uint32_t attribute_filter) override {
        return folder_->list(pattern, attribute_filter);
    }
    bool set_attributes(TextView name, uint32_t attributes) override {
        return folder_->set_attributes(name, attributes);
    }
    bool delete_files(TextView pattern) override { return folder_->delete_files(pattern); }
    bool remove_link(TextView name) override { return folder_->remove_link(name); }
    bool remove_folder(TextView name) override { return folder_->remove_folder(name); }
    std::unique_ptr<platform::Folder> open_folder(TextView name) override {
        return wrap(folder_->open_folder(name));
    }
    std::unique_ptr<platform::File> open_file(TextView name, platform::FileMode mode) override {
        return folder_->open_file(name, mode);
    }
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override {
        return folder_->replace_file(name, bytes, attributes);
    }
    std::unique_ptr<platform::File> create_private_file(TextView name) override {
        return folder_->create_private_file(name);
    }
    platform::MadeFolder make_private_folder(TextView name,
                                             platform::PrivateAccess access) override {
        platform::MadeFolder made = folder_->make_private_folder(name, access);
        made.folder = wrap(std::move(made.folder));
        return made;
    }
    platform::EntryTrust trust(TextView name) override { return folder_->trust(name); }
    bool move(TextView name, platform::Folder& destination, TextView new_name) override {
        return folder_->move(name, destination.opened(), new_name);
    }
    std::optional<Text> link_target(TextView name) override { return folder_->link_target(name); }
    platform::Folder& opened() override { return folder_->opened(); }

protected:
    // A folder this one opened or made, as the decorator hands it out; itself by default.
    virtual std::unique_ptr<platform::Folder> wrap(std::unique_ptr<platform::Folder> folder) {
        return folder;
    }

    std::unique_ptr<platform::Folder> folder_;
};

// A session whose answers the test sets; it notes what it was asked, in order.
class ScriptedSession final : public platform::Session {
public:
    bool elevated() override {
        asked.emplace_back("elevated");
        return is_elevated;
    }
    uint32_t process_id() const override { return own_process; }
    platform::SingleRunClaim claim_single_run() override {
        asked.emplace_back("claim");
        return {.claimed = !another_run, .holder = holder};
    }

    bool is_elevated = true;
    bool another_run = false;
    platform::RunHolder holder; // who holds the claim when another run does
    uint32_t own_process = 4321;
    std::vector<std::string> asked;
};

// A file system that passes every call to another one: the base of the decorators that
// note or change one thing (the reads made, a write that fails) over the real services.
// The volumes it opens are passed through wrap().
class ForwardingFileSystem : public platform::FileSystem {
public:
    explicit ForwardingFileSystem(platform::FileSystem& files) : files_(files) {}

    std::unique_ptr<platform::Folder> open_volume(TextView volume) override {
        return wrap(files_.open_volume(volume));
    }
    Text program_folder() override { return files_.program_folder(); }

protected:
    virtual std::unique_ptr<platform::Folder> wrap(std::unique_ptr<platform::Folder> folder) {
        return folder;
    }

    platform::FileSystem& files_;
};

} // namespace pelto::testing
