// A platform held in memory for the forms and sequence tests, which run on both platforms
// and name the program's fixed folders (C:\펠토사용자설치, C:\Pelto_H): a file system of
// names and attributes and recorded copies, with the recording dialogs and log.
#pragma once

#include "core/error.h"
#include "platform/platform.h"
#include "tests/support/recording.h"

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
    std::unique_ptr<platform::Folder> open_folder(TextView) override { return nullptr; }
    platform::PrivateFolder make_private_directory(TextView path,
                                                   platform::PrivateAccess) override {
        private_requests.emplace_back(path);
        if (refuse_private) {
            return platform::PrivateFolder::Untrusted;
        }
        if (get_attributes(path)) {
            return (*get_attributes(path) & platform::attr::kDirectory) != 0
                       ? platform::PrivateFolder::Trusted
                       : platform::PrivateFolder::Untrusted;
        }
        add_folder(path);
        return platform::PrivateFolder::Created;
    }
    platform::PrivateFolder private_directory_state(TextView path) override {
        return get_attributes(path) ? platform::PrivateFolder::Trusted
                                    : platform::PrivateFolder::Created;
    }
    bool move(TextView, TextView) override { return false; }
    std::unique_ptr<platform::File> open_file(TextView, platform::FileMode) override {
        return nullptr;
    }
    Text program_folder() override { return u"C:\\PeltoUserInstall_H"; }

    std::vector<Text> private_requests; // make_private_directory calls
    bool refuse_private = false;        // a folder the program did not make

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
    bool write_private_profile_strings(TextView, std::span<const platform::ProfileEntry>,
                                       TextView) override {
        ADD_FAILURE() << "profile write not expected";
        return false;
    }
};
class UnusedProcesses final : public platform::Processes {
public:
    std::unique_ptr<platform::Process> start(TextView, int, TextView) override {
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
    RecordingUserInterface ui;
    MemoryRunLog log;
    UnusedRegistry registry;
    UnusedProfiles profiles;
    UnusedProcesses processes;
    UnusedOdbc odbc;
    ScriptedSession session;
    platform::Platform p{registry, profiles, files, shell, processes, ui, odbc, log, session};
};

} // namespace pelto::testing
