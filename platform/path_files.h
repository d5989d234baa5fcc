// Files and folders named by their Windows paths, for the callers that are given a path
// (VB's Dir, GetAttr and Kill, a database's file, the update path). Written once over
// the walk and the open folder, so that a path means the same on every platform and in a
// plan, and reaches nothing a walk from the volume's root would not reach.
#pragma once

#include "platform/filesystem.h"
#include "platform/folder_walk.h"
#include "platform/run_log.h"

#include <memory>
#include <optional>
#include <vector>

namespace pelto::platform {

class PathFiles {
public:
    PathFiles(FileSystem& files, RunLog& log) : files_(files), log_(log) {}

    // VB's Dir(pattern, attributes): the entries matching the last name of `pattern`
    // (wildcards * and ? as DOS matches them; a pattern ending in "\" lists the whole
    // folder, "." and ".." included below a volume's root). Normal files always match;
    // hidden, system and folder entries only when their bit is in `attribute_filter`. A
    // folder that cannot be reached gives no entries.
    std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter);
    // GetAttr; nullopt when the path names nothing that can be reached.
    std::optional<uint32_t> get_attributes(TextView path);
    // SetAttr of the entry at `path` (a volume's root cannot take one).
    bool set_attributes(TextView path, uint32_t attributes);
    // VB's Kill in the folder the pattern names.
    bool delete_files(TextView pattern);
    // The folder at `path`, held open (folder_walk.h); null when the walk does not open it.
    std::unique_ptr<Folder> open_folder(TextView path);
    // The file at `path` in its folder (Folder::open_file).
    std::unique_ptr<File> open_file(TextView path, FileMode mode);
    // The private folder at `path`, made or found in its parent (Folder::make_private_folder);
    // Refused when the parent cannot be reached.
    MadeFolder make_private_directory(TextView path, PrivateAccess access);
    // What make_private_directory would find at `path`, with nothing changed: Created when
    // nothing is there, Trusted or Untrusted for what is there.
    PrivateFolder private_directory_state(TextView path);
    // Moves the entry at `from` to `to` (a folder of the same volume); never replaces.
    bool move(TextView from, TextView to);

private:
    // The open folder that holds the last name of `path`, and that name.
    struct InFolder {
        std::unique_ptr<Folder> folder;
        Text name;
    };
    InFolder in_folder(TextView path);

    FileSystem& files_;
    RunLog& log_;
};

} // namespace pelto::platform
