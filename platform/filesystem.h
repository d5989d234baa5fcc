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
    // An existing regular file, read only.
    Read,
    // An existing regular file with no other name, read only: what the run copies to where
    // others may read it, or into a settings file, must be the file it looked at (through a
    // link or a hard link it would read some other file).
    ReadOneName,
    // As ReadOneName, and nobody else may change, rename or delete the file while it is
    // open (Windows: no write or delete sharing): the program the run is about to start.
    Hold,
    // Opened for reading and writing from its start, created when missing; a read-only
    // file is refused, as Windows refuses it.
    ReadWrite,
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

// What make_private_folder found at the name it was given.
enum class PrivateFolder {
    // Nothing was there; the folder was made with the private rights.
    Created,
    // A folder that already held to the private-folder rule (see EntryTrust). Its rights
    // were set to the access asked for again.
    Trusted,
    // Something else: a folder that someone else made or may change, a link, a file.
    // Nothing about it was changed: what such a folder holds may have been planted, and
    // taking it over would keep every entry (and any handle opened on it before).
    Untrusted,
    // The system refused to make the folder or to look at what is there (logged).
    Refused,
};

// Who owns an entry and who may change it, read on the entry itself without following a
// link. One reading serves three rules: a private folder of the run's is owned by the run
// (Windows: Administrators or SYSTEM; the mapped machine: the run's own user), nobody else
// may change it and its rights are protected from inheritance; a kept set is owned by the
// run; a link an administrator made on purpose is owned by the run and nobody else may
// change it, nor any folder it leads through.
struct EntryTrust {
    bool exists = false;       // false: nothing of that name (the rest says nothing)
    bool owned_by_run = false; // Administrators or SYSTEM; the mapped machine's user
    bool others_may_change = true;
    bool protected_rights = false; // not open to rights inherited from the folder above
    // Which reading this is, for the run log: the Windows owner-and-protection rule, its
    // Unix-bits reading under Wine, or the mapped machine's owner-and-mode rule.
    std::string rule;

    bool private_folder() const { return owned_by_run && !others_may_change && protected_rights; }
    bool owner_only_changes() const { return owned_by_run && !others_may_change; }
};

class Folder;

// A private folder made or found by make_private_folder, held open when it is the run's.
struct MadeFolder {
    PrivateFolder state = PrivateFolder::Refused;
    std::unique_ptr<Folder> folder; // set for Created and Trusted
    std::string rule;               // the trust rule that decided (EntryTrust::rule)
};

// A folder held open. What is in it is listed, changed, opened and removed relative to
// the open folder, one entry name at a time, never through a path: a link that someone
// swaps in for an entry, or for the folder itself, after it was looked at cannot lead the
// run anywhere else. A link inside is reported as an entry with kReparsePoint and never
// entered, followed or changed through. While it is held, nobody may rename, move or delete
// the folder itself (Windows: no delete sharing), so that a path the system must be given
// (the shell copy, a program's start) names this folder.
class Folder {
public:
    virtual ~Folder() = default;

    // The Windows path the folder was reached by (the target's, where a trusted link led
    // there): what the run log names, and what a service that takes only a path is given.
    virtual const Text& path() const = 0;

    // The folder's own attributes, read on the open folder.
    virtual std::optional<uint32_t> attributes() = 0;
    // SetAttr on the open folder itself.
    virtual bool set_attributes(uint32_t attributes) = 0;

    // Dir over this folder: the entries whose names match `pattern` (one name, or DOS
    // wildcards) and pass the attribute filter, in listing order, "." and ".." left out;
    // nullopt (logged) when the folder could not be read, which is never "no entries": what
    // the run keeps, deletes or empties depends on knowing what is there.
    virtual std::optional<std::vector<DirEntry>> list(TextView pattern,
                                                      uint32_t attribute_filter) = 0;
    // SetAttr of an entry; false for a link, which is never changed through, and for a
    // file with a second name: its attributes are another file's too (logged).
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
    // The file `name` (see FileMode); null when it is not there, not a regular file, a
    // link, or not what the mode asks for.
    virtual std::unique_ptr<File> open_file(TextView name, FileMode mode) = 0;
    // Replaces the file `name` (or makes it) with `bytes` in one step: a new file beside
    // it, put in its place, so that a reader, or a failure half-way, finds the old file or
    // the new one and never a part. The file keeps the rights of the one it replaces and
    // then has `attributes` (read-only, hidden, system). Windows tries again for a moment
    // while the file is held by someone else (an on-access scanner). False (logged) when
    // it cannot; the old file is then as it was. A folder, a link or a file with a second
    // name is never replaced.
    virtual bool replace_file(TextView name, std::span<const uint8_t> bytes,
                              uint32_t attributes) = 0;
    // A new file `name` (an existing entry of that name is an error) that only
    // administrators may read: it takes the rights of a private folder, and on the
    // mapped machine its mode is 0600.
    virtual std::unique_ptr<File> create_private_file(TextView name) = 0;

    // Makes the subfolder `name` a private folder with `access`, or finds one there (see
    // PrivateFolder). A new folder is made with the rights; an existing folder is never
    // taken over. On the mapped machine a folder whose path others could change (a folder
    // above it that others may write and that is not sticky) is Refused: a program the
    // run starts from it is named by its path.
    virtual MadeFolder make_private_folder(TextView name, PrivateAccess access) = 0;
    // Who owns the entry `name` and who may change it, read without following a link.
    virtual EntryTrust trust(TextView name) = 0;
    // Moves the entry `name` (a folder with what it holds, a file, or a link as a link)
    // into `destination` (this folder or another of the same volume) as `new_name`;
    // never replaces an existing entry. False (logged) when it cannot.
    virtual bool move(TextView name, Folder& destination, TextView new_name) = 0;
    // Where the link `name` leads, as an absolute Windows path; nullopt when it is no
    // link, leads off the machine, or cannot be read.
    virtual std::optional<Text> link_target(TextView name) = 0;

    // The platform's own open folder behind this one: itself, unless this one only passes
    // its calls on (a decorator), so that a service of the platform can reach the folder
    // it opened (a destination of a move or a copy).
    virtual Folder& opened() { return *this; }
};

// The machine's volumes, where every walk to a folder begins (platform/folder_walk.h).
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The root folder of a volume, "C:" or "\\HOST\SHARE" (WindowsPath::volume), held
    // open; null (logged unless it is simply not there) when it cannot be opened.
    virtual std::unique_ptr<Folder> open_volume(TextView volume) = 0;

    // The folder that holds the running program, as a Windows path, normally without a
    // trailing backslash (a drive root keeps it: "C:\").
    virtual Text program_folder() = 0;
};

} // namespace pelto::platform
