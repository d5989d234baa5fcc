// Folders, files and DOS attributes, addressed with Windows paths ("C:\Pelto_H\bin").
#pragma once

#include "core/text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelto::platform {

// DOS file attributes (VB's vbReadOnly ... vbArchive, and the reparse flag).
namespace attr {
constexpr uint32_t kNormal = 0x00;
constexpr uint32_t kReadOnly = 0x01;
constexpr uint32_t kHidden = 0x02;
constexpr uint32_t kSystem = 0x04;
constexpr uint32_t kDirectory = 0x10;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kReparsePoint = 0x400; // a symbolic link or junction
} // namespace attr

// VB's Dir filter, the same on every platform: normal, read-only and archive entries
// always match; hidden, system and folder entries only when their bit is in the filter.
constexpr bool dir_filter_passes(uint32_t entry_attributes, uint32_t attribute_filter) {
    constexpr uint32_t kSelective = attr::kHidden | attr::kSystem | attr::kDirectory;
    return (entry_attributes & kSelective & ~attribute_filter) == 0;
}

// VB's Kill, the same on every platform: it does not see folders (links to folders
// included), hidden or system files; it sees a read-only file but may not delete it.
enum class KillAnswer { PassOver, Refuse, Delete };
constexpr KillAnswer kill_answer(uint32_t entry_attributes) {
    if ((entry_attributes & (attr::kDirectory | attr::kHidden | attr::kSystem)) != 0) {
        return KillAnswer::PassOver;
    }
    return (entry_attributes & attr::kReadOnly) != 0 ? KillAnswer::Refuse : KillAnswer::Delete;
}

// VB's Kill over the entries a pattern matched: `remove(entry)` deletes one that the rule
// lets go and says whether it went. False when nothing matched or something stayed.
template <typename Entries, typename Remove>
bool kill_each(const Entries& entries, Remove&& remove) {
    bool matched = false;
    bool failed = false;
    for (const auto& entry : entries) {
        const KillAnswer answer = kill_answer(entry.attributes);
        if (answer == KillAnswer::PassOver) {
            continue;
        }
        matched = true;
        if (answer == KillAnswer::Refuse || !remove(entry)) {
            failed = true;
        }
    }
    return matched && !failed;
}

struct DirEntry {
    Text name;           // the entry's own name, no folder
    uint32_t attributes; // attr:: bits
};

// A file opened for raw byte access; closed by the destructor.
class File {
public:
    virtual ~File() = default;
    virtual std::optional<uint64_t> size() = 0;
    // Reads up to buffer.size() bytes at the current position; the count read, or
    // nullopt on a read error.
    virtual std::optional<size_t> read(std::span<uint8_t> buffer) = 0;
    virtual bool write(std::span<const uint8_t> data) = 0;
};

// A file's whole content, read from where it stands to its end; nullopt when a read fails.
std::optional<std::string> read_all(File& file);

enum class FileMode {
    Read,      // existing file, read only
    ReadWrite, // opened for reading and writing from its start, created when missing
};

// Who may reach a private folder, and what is in it.
enum class PrivateAccess {
    // Administrators and SYSTEM change it; users may read and run what it holds: the
    // staging folder, whose programs the elevated run starts.
    AdministratorsChange,
    // Administrators and SYSTEM only (on the mapped machine: the run's own user, folders
    // 0700 and files 0600): the kept settings files, which hold a server's password.
    AdministratorsOnly,
};

// What make_private_directory found at the path it was given.
enum class PrivateFolder {
    // Nothing was there; the folder was made with the private rights.
    Created,
    // A folder that already held to the run's rule (Windows: owned by Administrators or
    // SYSTEM, with protected rights under which nobody else may change it; the mapped
    // machine: owned by the run's user and writable by nobody else). Its rights were set
    // to the access asked for again.
    Trusted,
    // Something else: a folder that someone else made or may change, a link, a file.
    // Nothing about it was changed: what such a folder holds may have been planted, and
    // taking it over would keep every entry (and any handle opened on it before).
    Untrusted,
    // The system refused to make the folder or to look at what is there (logged).
    Refused,
};

// A folder held open. What is in it is listed, changed, opened and removed relative to
// the open folder, one entry name at a time, never through a path: a link that someone
// swaps in for an entry, or for the folder itself, after it was looked at cannot lead the
// run anywhere else. A link inside is reported as an entry with kReparsePoint and never
// entered, followed or changed through.
class Folder {
public:
    virtual ~Folder() = default;

    // The folder's own attributes, read on the open folder.
    virtual std::optional<uint32_t> attributes() = 0;
    // SetAttr on the open folder itself.
    virtual bool set_attributes(uint32_t attributes) = 0;

    // Dir over this folder: the entries whose names match `pattern` (one name, or DOS
    // wildcards) and pass the attribute filter, in listing order, "." and ".." left out.
    virtual std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) = 0;
    // SetAttr of an entry; false for a link, which is never changed through.
    virtual bool set_attributes(TextView name, uint32_t attributes) = 0;
    // Kill inside this folder: the files matching `pattern` that are neither folders nor
    // hidden, system or read-only go (a link to a file goes as a link). False when
    // nothing matched or a deletion failed.
    virtual bool delete_files(TextView pattern) = 0;
    // Removes a link (to a file or a folder) itself; false for anything else.
    virtual bool remove_link(TextView name) = 0;
    // RmDir of an empty subfolder that is not read-only; never a link.
    virtual bool remove_folder(TextView name) = 0;

    // The subfolder `name`, opened without following a link; null when it is not a
    // folder (a link to one included) or cannot be opened.
    virtual std::unique_ptr<Folder> open_folder(TextView name) = 0;
    // The file `name`, for reading; null unless it is a regular file with no other name
    // (a link or a hard link could make the run read, and then copy to where others may
    // read it, a file that is not the one it looked at).
    virtual std::unique_ptr<File> open_file(TextView name) = 0;
    // Replaces the file `name` (or makes it) with `bytes` in one step: a new file beside
    // it, renamed over it, so that a reader, or a failure half-way, finds the old file or
    // the new one and never a part. The file keeps the rights of the one it replaces and
    // then has `attributes` (read-only, hidden, system). False (logged) when it cannot; the
    // old file is then as it was.
    virtual bool replace_file(TextView name, std::span<const uint8_t> bytes,
                              uint32_t attributes) = 0;
    // A new file `name` (an existing entry of that name is an error) that only
    // administrators may read: it takes the rights of a private folder, and on the
    // mapped machine its mode is 0600.
    virtual std::unique_ptr<File> create_private_file(TextView name) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // VB's Dir(pattern, attributes): the entries matching the last component of
    // `pattern` (wildcards * and ? as DOS matches them; a pattern ending in "\" lists
    // the whole folder, "." and ".." included where the folder has them). Normal files
    // always match; hidden, system and directory entries only when their bit is in
    // `attribute_filter`. An unreadable or missing folder gives no entries.
    virtual std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) = 0;

    // GetAttr / SetAttr. nullopt when the path names nothing.
    virtual std::optional<uint32_t> get_attributes(TextView path) = 0;
    virtual bool set_attributes(TextView path, uint32_t attributes) = 0;

    // VB's Kill: deletes the files (not folders) matching the pattern; read-only files
    // stay. Never follows a symbolic link. False when nothing matched or a delete failed.
    virtual bool delete_files(TextView pattern) = 0;

    // The folder at `path`, held open; a link at its last component is not followed
    // (null). Null too when nothing is there, it is not a folder or it cannot be opened.
    virtual std::unique_ptr<Folder> open_folder(TextView path) = 0;

    // Makes `path` a private folder with `access` (see PrivateFolder for what it may
    // find). A new folder is made with the rights; an existing folder is never taken over.
    virtual PrivateFolder make_private_directory(TextView path, PrivateAccess access) = 0;

    // What make_private_directory would find at `path`, with nothing changed: Created
    // when nothing is there, Trusted or Untrusted for what is there.
    virtual PrivateFolder private_directory_state(TextView path) = 0;

    // Renames the entry at `from` (a folder with what it holds, a file, or a link as a
    // link) to `to` on the same volume; never replaces an existing `to`.
    virtual bool move(TextView from, TextView to) = 0;

    virtual std::unique_ptr<File> open_file(TextView path, FileMode mode) = 0;

    // The folder that holds the running program, as a Windows path, normally without a
    // trailing backslash (a drive root keeps it: "C:\").
    virtual Text program_folder() = 0;
};

} // namespace pelto::platform
