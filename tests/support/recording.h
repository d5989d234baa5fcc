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

    std::deque<Text> answers;
    std::vector<Message> messages;
    std::vector<Text> prompts;
    std::vector<bool> pointer;
    std::vector<Text> warning_forms; // the caption of each warning window shown
    int windows_created = 0;         // hidden owner windows asked for
};

// A session whose answers the test sets; it notes what it was asked, in order.
class ScriptedSession final : public platform::Session {
public:
    bool elevated() override {
        asked.emplace_back("elevated");
        return is_elevated;
    }
    bool claim_single_run() override {
        asked.emplace_back("claim");
        return !another_run;
    }

    bool is_elevated = true;
    bool another_run = false;
    std::vector<std::string> asked;
};

// A file system that passes every call to another one: the base of the decorators that
// note or change one thing (the reads made, a write that fails) over the real services.
class ForwardingFileSystem : public platform::FileSystem {
public:
    explicit ForwardingFileSystem(platform::FileSystem& files) : files_(files) {}

    std::vector<platform::DirEntry> list(TextView pattern, uint32_t attribute_filter) override {
        return files_.list(pattern, attribute_filter);
    }
    std::optional<uint32_t> get_attributes(TextView path) override {
        return files_.get_attributes(path);
    }
    bool set_attributes(TextView path, uint32_t attributes) override {
        return files_.set_attributes(path, attributes);
    }
    bool delete_files(TextView pattern) override { return files_.delete_files(pattern); }
    bool remove_link(TextView path) override { return files_.remove_link(path); }
    bool create_directory(TextView path) override { return files_.create_directory(path); }
    bool create_private_directory(TextView path) override {
        return files_.create_private_directory(path);
    }
    bool remove_directory(TextView path) override { return files_.remove_directory(path); }
    std::unique_ptr<platform::File> open_file(TextView path, platform::FileMode mode) override {
        return files_.open_file(path, mode);
    }
    Text program_folder() override { return files_.program_folder(); }

protected:
    platform::FileSystem& files_;
};

} // namespace pelto::testing
