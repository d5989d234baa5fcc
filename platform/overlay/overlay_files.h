// The machine's files as a planned run sees them: every read goes through to the real
// file system, every write stays in memory, where the same run's later reads see it, and
// is recorded in the plan. Nothing on the machine is changed: no file, folder, attribute
// or time.
#pragma once

#include "platform/filesystem.h"
#include "platform/overlay/plan_record.h"
#include "platform/path_files.h"
#include "platform/run_log.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace pelto::platform::overlay {

// The view is kept by path: nothing on the machine is changed, so no path can lead a write
// anywhere. Its reads of the machine take the real walk (PathFiles), so a planned run
// reaches what the run itself would reach, and no more. Being kept by path, the view
// neither moves nor removes a folder that is held open (or one holding an open folder), as
// Windows refuses to: what is done through the held folder would otherwise be done to
// whatever later stands at its path.
class OverlayFileSystem final : public FileSystem {
public:
    OverlayFileSystem(FileSystem& real, PlanRecord& plan, RunLog& log);

    std::unique_ptr<Folder> open_volume(TextView volume) override;
    Text program_folder() override;

    // The view by path, for its open folders and the other overlay services.
    std::optional<uint32_t> get_attributes(TextView path);
    bool set_attributes(TextView path, uint32_t attributes);
    bool delete_files(TextView folder, TextView pattern);
    std::unique_ptr<Folder> open_folder(TextView path);
    PrivateFolder make_private_directory(TextView path, PrivateAccess access);
    PrivateFolder private_directory_state(TextView path);
    bool move(TextView from, TextView to);
    std::unique_ptr<File> open_file(TextView path, FileMode mode);
    // The machine itself, read by path.
    PathFiles& real() { return real_paths_; }

    // What the planned run has put at `path` (a file's bytes): for the other overlay
    // services. nullopt when the path is not a file in this view.
    std::optional<std::string> read_bytes(TextView path);
    // Puts a file at `path` in this view, without recording anything (the caller records).
    // It keeps the rights of a file it replaces.
    void put_file(TextView path, std::string bytes, uint32_t attributes);
    // Puts at `path` a copy of the file `source` of this view, its bytes read only when
    // they are needed (an installer may be large).
    void put_copy(TextView path, TextView source);
    // Makes `path` a folder in this view when it is none (the installer's own effect).
    void ensure_folder(TextView path);

    // An entry as this view sees it.
    struct Entry {
        enum class Kind { Absent, File, Folder };
        static Entry absent(Text name) { return Entry{Kind::Absent, std::move(name), 0, false}; }
        Entry(Kind kind, Text name, uint32_t attributes, bool real)
            : kind(kind), name(std::move(name)), attributes(attributes), real(real) {}

        Kind kind = Kind::Absent;
        Text name;               // its own name, as spelled
        uint32_t attributes = 0; // attr:: bits
        // The machine's own entry at `origin`, wherever the plan moved it: a file's bytes,
        // a folder's entries (but those the plan changed) are the machine's there.
        bool real = false;
        std::shared_ptr<const std::string> bytes; // a file the plan wrote
        // The machine's entry that holds its content (a file the plan copied: the source).
        Text origin;
        // The machine's entry whose owner and rights it has: its own, the one it replaced,
        // the one the plan moved here. Empty for what the plan made: see `access`.
        Text rights_of;
        // What the plan made private, and for whom; nullopt: the rights its folder gives.
        std::optional<PrivateAccess> access;
    };
    Entry look_up(TextView path);
    // Whether the plan changed the entry at `path` itself.
    bool changed_by_plan(TextView path) const;
    // The entries of the folder `folder` (a path without a trailing separator) whose
    // names match `pattern`, "." and ".." left out, in the order NTFS lists them.
    std::vector<DirEntry> entries(const Text& folder, TextView pattern);
    // The size of a file of this view.
    uint64_t size_of(TextView path);

private:
    Entry& override_of(const Text& path);
    void remove(const Text& path, PlanEvent::Kind kind, uint64_t size);
    Entry& put(const Text& path, Entry entry);
    // Whether a folder at `path`, or one below it, is held open.
    bool held_at_or_below(const Text& path) const;
    // The machine's entry at `machine_path`, its name as spelled there; nullopt when the
    // machine's walk does not reach one.
    std::optional<DirEntry> machine_entry(const Text& machine_path);
    // Who owns the machine's entry at `machine_path`, and where it leads if it is a link.
    EntryTrust machine_trust(const Text& machine_path);
    std::optional<Text> machine_link_target(const Text& machine_path);

    FileSystem& real_;
    PathFiles real_paths_;
    PlanRecord& plan_;
    RunLog& log_;
    // What the plan changed, by path in upper case; a path's own entry wins over
    // the real machine. A folder the plan made or removed hides the machine's entries below
    // it; below one the plan moved, they are the machine's below its origin.
    std::map<Text, Entry> changed_;
    // The folders held open, by path in upper case, and how many times each.
    std::map<Text, int> held_;

    friend class OverlayFolder;
};

} // namespace pelto::platform::overlay
