// A platform held in memory for the forms and sequence tests: a file system of names and
// attributes, recorded copies, dialogs, registry and profile writes, and log lines.
#pragma once

#include "core/error.h"
#include "platform/platform.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pelto::testing {

inline Text key_of(TextView path) {
    Text k = to_upper(path);
    while (k.size() > 3 && k.back() == u'\\') {
        k.pop_back();
    }
    return k;
}

class FakeFileSystem final : public platform::FileSystem {
public:
    // Adds a folder or file (and its missing parent folders).
    void add(TextView path, uint32_t attributes = platform::attr::kNormal) {
        const Text k = key_of(path);
        const size_t cut = k.rfind(u'\\');
        if (cut != Text::npos && cut > 2) {
            const Text parent = Text(path.substr(0, cut));
            if (!nodes_.count(key_of(parent))) {
                add(parent, platform::attr::kDirectory);
            }
        }
        nodes_[k] = Node{Text(path.substr(path.rfind(u'\\') + 1)), attributes};
    }
    void add_folder(TextView path) { add(path, platform::attr::kDirectory); }
    bool has(TextView path) const { return nodes_.count(key_of(path)) != 0; }

    std::vector<Text> listed_patterns;

    std::vector<platform::DirEntry> list(TextView pattern, uint32_t filter) override {
        listed_patterns.emplace_back(pattern);
        std::vector<platform::DirEntry> out;
        auto visible = [filter](uint32_t a) { return platform::dir_filter_passes(a, filter); };
        if (!pattern.empty() && pattern.back() == u'\\') {
            const Text folder = key_of(pattern);
            auto it = nodes_.find(folder);
            if (it == nodes_.end() || (it->second.attributes & platform::attr::kDirectory) == 0) {
                return out;
            }
            if ((filter & platform::attr::kDirectory) != 0) {
                out.push_back({u".", platform::attr::kDirectory});
                out.push_back({u"..", platform::attr::kDirectory});
            }
            for (const auto& [k, node] : nodes_) {
                if (k.size() > folder.size() + 1 && k.compare(0, folder.size(), folder) == 0 &&
                    k[folder.size()] == u'\\' && k.find(u'\\', folder.size() + 1) == Text::npos &&
                    visible(node.attributes)) {
                    out.push_back({node.name, node.attributes});
                }
            }
            return out;
        }
        auto it = nodes_.find(key_of(pattern));
        if (it != nodes_.end() && visible(it->second.attributes)) {
            out.push_back({it->second.name, it->second.attributes});
        }
        return out;
    }
    std::optional<uint32_t> get_attributes(TextView path) override {
        auto it = nodes_.find(key_of(path));
        return it == nodes_.end() ? std::nullopt : std::optional<uint32_t>(it->second.attributes);
    }
    bool set_attributes(TextView, uint32_t) override { return false; }
    bool delete_files(TextView) override { return false; }
    bool remove_link(TextView) override { return false; }
    bool create_directory(TextView path) override {
        created.emplace_back(path);
        add_folder(path);
        return true;
    }
    bool create_private_directory(TextView path) override {
        private_requests.emplace_back(path);
        if (refuse_private) {
            return false;
        }
        if (get_attributes(path)) {
            return (*get_attributes(path) & platform::attr::kDirectory) != 0;
        }
        return create_directory(path);
    }
    bool remove_directory(TextView) override { return false; }
    std::unique_ptr<platform::File> open_file(TextView, platform::FileMode) override {
        return nullptr;
    }
    Text program_folder() override { return u"C:\\PeltoUserInstall_H"; }

    std::vector<Text> created;
    std::vector<Text> private_requests; // create_private_directory calls
    bool refuse_private = false;        // a folder the program may not take over

private:
    struct Node {
        Text name;
        uint32_t attributes;
    };
    std::map<Text, Node> nodes_;
};

struct CopyRequest {
    Text source;
    Text destination;
    bool operator==(const CopyRequest&) const = default;
};

class FakeShellCopy final : public platform::ShellCopy {
public:
    explicit FakeShellCopy(FakeFileSystem& files) : files_(files) {}
    int copy_file(const platform::OwnerWindow& owner, TextView source, TextView folder) override {
        owners.push_back(&owner);
        copies.push_back({Text(source), Text(folder)});
        if (!files_.has(source)) {
            return 2;
        }
        files_.add(Text(folder) + u"\\" + Text(source.substr(source.rfind(u'\\') + 1)));
        return 0;
    }
    std::vector<CopyRequest> copies;
    std::vector<const platform::OwnerWindow*> owners;

private:
    FakeFileSystem& files_;
};

struct Message {
    Text text;
    platform::MessageIcon icon;
    Text caption;
};

class FakeUi final : public platform::UserInterface {
public:
    void message_box(TextView text, platform::MessageIcon icon, TextView caption) override {
        messages.push_back({Text(text), icon, Text(caption)});
        events.push_back("message");
    }
    Text input_box(TextView prompt, TextView caption) override {
        prompts.push_back({Text(prompt), platform::MessageIcon::None, Text(caption)});
        events.push_back("input");
        return answer;
    }
    void set_busy_pointer(bool) override {}
    void show_warning_form(const platform::WarningFormDesign& design) override {
        warnings.push_back(design);
        events.push_back("warning");
        if (on_warning) {
            on_warning();
        }
    }
    std::unique_ptr<platform::OwnerWindow> create_hidden_window() override {
        ++windows_created;
        return std::make_unique<Window>();
    }

    Text answer;
    std::function<void()> on_warning;
    std::vector<Message> messages;
    std::vector<Message> prompts;
    std::vector<platform::WarningFormDesign> warnings;
    std::vector<std::string> events;
    int windows_created = 0;

private:
    class Window final : public platform::OwnerWindow {
    public:
        void* native_handle() const override { return nullptr; }
    };
};

class FakeLog final : public platform::RunLog {
public:
    void write(std::string_view line) override { lines.emplace_back(line); }
    bool mentions(std::string_view part) const {
        for (const std::string& l : lines) {
            if (l.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    std::vector<std::string> lines;
};

// Services a test does not expect to be used.
class UnusedRegistry final : public platform::Registry {
public:
    long open_local_machine_key(TextView, uint32_t,
                                std::unique_ptr<platform::RegistryKey>&) override {
        ADD_FAILURE() << "registry not expected";
        return platform::kRegAccessDenied;
    }
};
class UnusedProfiles final : public platform::ProfileFiles {
public:
    bool write_private_profile_string(TextView, TextView, TextView, TextView) override {
        ADD_FAILURE() << "profile write not expected";
        return false;
    }
};
class UnusedProcesses final : public platform::Processes {
public:
    std::unique_ptr<platform::Process> start(TextView, int) override {
        ADD_FAILURE() << "process start not expected";
        throw VbError::runtime(vberr::kFileNotFound);
    }
};
class UnusedOdbc final : public platform::OdbcProviders {
public:
    std::variant<platform::OdbcTarget, Error> translate(TextView) override {
        ADD_FAILURE() << "database not expected";
        return Error{adoerr::kFail, u"test", u"no database"};
    }
};

struct FakePlatform {
    FakeFileSystem files;
    FakeShellCopy shell{files};
    FakeUi ui;
    FakeLog log;
    UnusedRegistry registry;
    UnusedProfiles profiles;
    UnusedProcesses processes;
    UnusedOdbc odbc;
    platform::Platform p{registry, profiles, files, shell, processes, ui, odbc, log};
};

} // namespace pelto::testing
