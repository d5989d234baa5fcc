// Folders, files and DOS attributes, addressed with Windows paths ("C:\Pelto_H\bin").
#pragma once

#include "core/text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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

enum class FileMode {
    Read,      // existing file, read only
    ReadWrite, // opened for reading and writing from its start, created when missing
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
    // Removes a symbolic link or junction itself, never what it points to.
    virtual bool remove_link(TextView path) = 0;
    virtual bool create_directory(TextView path) = 0;
    // Makes `path` a folder that only administrators and the system may change: the
    // staging folder, whose programs this elevated run starts. A missing folder is
    // created so; an existing one is taken over and its access rights are reset. False
    // when either is refused, or when `path` names a file or a link.
    virtual bool create_private_directory(TextView path) = 0;
    // Removes an empty folder.
    virtual bool remove_directory(TextView path) = 0;

    virtual std::unique_ptr<File> open_file(TextView path, FileMode mode) = 0;

    // The folder that holds the running program, as a Windows path, normally without a
    // trailing backslash (a drive root keeps it: "C:\").
    virtual Text program_folder() = 0;
};

} // namespace pelto::platform
