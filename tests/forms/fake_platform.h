// A platform held in memory for the forms and sequence tests, which run on both platforms
// and name the program's fixed folders (C:\펠토사용자설치, C:\Pelto_H): a file system of
// names and attributes and recorded copies, with the recording dialogs and log.
#pragma once

#include "core/error.h"
#include "platform/dos_name.h"
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

// Folders and files by name and attributes, in memory: what the forms look at and copy.
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

    std::unique_ptr<platform::Folder> open_volume(TextView volume) override;
    Text program_folder() override { return u"C:\\PeltoUserInstall_H"; }

    std::vector<Text> listed_patterns;  // each folder listing, as folder\pattern
    std::vector<Text> private_requests; // private folders asked for
    bool refuse_private = false;        // a folder the program did not make

private:
    friend class FakeFolder;
    struct Node {
        Text name;
        uint32_t attributes;
    };
    static bool is_child(const Text& folder, const Text& k) {
        const Text prefix = ends_with(folder, u"\\") ? folder : folder + u"\\";
        return k.size() > prefix.size() && k.compare(0, prefix.size(), prefix) == 0 &&
               k.find(u'\\', prefix.size()) == Text::npos;
    }
    std::map<Text, Node> nodes_;
};

// An open folder of the fake: its entries are the nodes below its path.
class FakeFolder final : public platform::Folder {
public:
    FakeFolder(FakeFileSystem& files, Text path) : files_(files), path_(std::move(path)) {}

    const Text& path() const override { return path_; }
    std::optional<uint32_t> attributes() override { return platform::attr::kDirectory; }
    bool set_attributes(uint32_t) override { return false; }
    std::optional<std::vector<platform::DirEntry>> list(TextView pattern,
                                                        uint32_t filter) override {
        files_.listed_patterns.push_back(join(pattern));
        std::vector<platform::DirEntry> out;
        for (const auto& [k, node] : files_.nodes_) {
            if (FakeFileSystem::is_child(key_of(path_), k) &&
                platform::dos_name_matches(pattern, node.name) &&
                platform::dir_filter_passes(node.attributes, filter)) {
                out.push_back({node.name, node.attributes});
            }
        }
        return out;
    }
    bool set_attributes(TextView, uint32_t) override { return false; }
    bool delete_files(TextView) override { return false; }
    bool remove_link(TextView) override { return false; }
    bool remove_folder(TextView) override { return false; }
    std::unique_ptr<platform::Folder> open_folder(TextView name) override {
        const auto it = files_.nodes_.find(key_of(join(name)));
        if (it == files_.nodes_.end() ||
            (it->second.attributes & platform::attr::kDirectory) == 0) {
            return nullptr;
        }
        return std::make_unique<FakeFolder>(files_, join(name));
    }
    std::unique_ptr<platform::File> open_file(TextView, platform::FileMode) override {
        return nullptr;
    }
    bool replace_file(TextView, std::span<const uint8_t>, uint32_t) override { return false; }
    std::unique_ptr<platform::File> create_private_file(TextView) override { return nullptr; }
    platform::MadeFolder make_private_folder(TextView name, platform::PrivateAccess) override {
        const Text path = join(name);
        files_.private_requests.push_back(path);
        platform::MadeFolder made;
        made.rule = "the fake's";
        if (files_.refuse_private) {
            made.state = platform::PrivateFolder::Untrusted;
            return made;
        }
        if (files_.has(path)) {
            const bool folder =
                (files_.nodes_[key_of(path)].attributes & platform::attr::kDirectory) != 0;
            made.state =
                folder ? platform::PrivateFolder::Trusted : platform::PrivateFolder::Untrusted;
        } else {
            files_.add_folder(path);
            made.state = platform::PrivateFolder::Created;
        }
        if (made.state != platform::PrivateFolder::Untrusted) {
            made.folder = std::make_unique<FakeFolder>(files_, path);
        }
        return made;
    }
    platform::EntryTrust trust(TextView name) override {
        if (!files_.has(join(name))) {
            return {};
        }
        return platform::EntryTrust{true, !files_.refuse_private, files_.refuse_private, true,
                                    "the fake's"};
    }
    bool move(TextView, platform::Folder&, TextView) override { return false; }
    std::optional<Text> link_target(TextView) override { return std::nullopt; }

private:
    Text join(TextView name) const {
        return ends_with(path_, u"\\") ? path_ + Text(name) : path_ + u"\\" + Text(name);
    }
    FakeFileSystem& files_;
    Text path_;
};

inline std::unique_ptr<platform::Folder> FakeFileSystem::open_volume(TextView volume) {
    const bool drive = volume.size() == 2 && volume[1] == u':';
    if (!drive && !has(volume)) {
        return nullptr;
    }
    return std::make_unique<FakeFolder>(*this, drive ? Text(volume) + u"\\" : Text(volume));
}

struct CopyRequest {
    Text source;
    Text destination;
    bool operator==(const CopyRequest&) const = default;
};

class FakeShellCopy final : public platform::ShellCopy {
public:
    explicit FakeShellCopy(FakeFileSystem& files) : files_(files) {}
    int copy_file(const platform::OwnerWindow& owner, TextView source,
                  platform::Folder& destination) override {
        const Text folder = destination.path();
        owners.push_back(&owner);
        copies.push_back({Text(source), folder});
        if (!files_.has(source)) {
            return 2;
        }
        files_.add(folder + u"\\" + Text(source.substr(source.rfind(u'\\') + 1)));
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
    bool write_private_profile_strings(platform::Folder&, TextView, TextView,
                                       std::span<const platform::ProfileEntry>) override {
        ADD_FAILURE() << "profile write not expected";
        return false;
    }
};
class UnusedProcesses final : public platform::Processes {
public:
    std::optional<std::string> cannot_start(TextView) override { return std::nullopt; }
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
    platform::Platform p{.registry = registry,
                         .profiles = profiles,
                         .files = files,
                         .shell = shell,
                         .processes = processes,
                         .ui = ui,
                         .odbc = odbc,
                         .log = log,
                         .session = session};
};

} // namespace pelto::testing
