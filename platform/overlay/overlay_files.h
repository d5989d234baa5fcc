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
// reaches what the run itself would reach, and no more.
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
        bool real = false;       // still the real machine's (content, a folder's entries)
        std::shared_ptr<const std::string> bytes; // a file the plan wrote
        Text origin; // a file the plan copied: the machine's file that holds its bytes
    };
    Entry look_up(TextView path);
    // The entries of the folder `folder` (a path without a trailing separator) whose
    // names match `pattern`, "." and ".." left out, in the order NTFS lists them.
    std::vector<DirEntry> entries(const Text& folder, TextView pattern);
    // The size of a file of this view.
    uint64_t size_of(TextView path);

private:
    Entry& override_of(const Text& path);
    void remove(const Text& path, PlanEvent::Kind kind, uint64_t size);

    FileSystem& real_;
    PathFiles real_paths_;
    PlanRecord& plan_;
    // What the plan changed, by path in upper case; a path's own entry wins over
    // the real machine, and an absent or plan-made folder hides the real entries below it.
    std::map<Text, Entry> changed_;

    friend class OverlayFolder;
};

} // namespace pelto::platform::overlay
