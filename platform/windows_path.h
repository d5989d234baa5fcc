// Windows paths as the system reads them, the same on every platform: a volume ("C:",
// "\\HOST\SHARE") and the names below it, "." and ".." resolved by text before anything
// is looked at, trailing dots and blanks dropped, names Windows refuses refused.
#pragma once

#include "core/text.h"

#include <optional>
#include <vector>

namespace pelto::platform {

struct WindowsPath {
    // "C:" (the letter in upper case) or "\\HOST\SHARE", as given.
    Text volume;
    // The names below the volume's root, in order; empty for the root itself.
    std::vector<Text> names;

    bool is_unc() const { return volume.size() > 2 && volume[0] == u'\\'; }
    // "C:\" or "\\HOST\SHARE" followed by the names joined with "\".
    Text text() const;
    // The path of the first `count` names ("C:\" for none).
    Text prefix(size_t count) const;
};

// An absolute Windows path (a drive letter, a UNC share, or either behind "\\?\" or "\\.\";
// "\" and "/" both separate), parsed; nullopt for a relative path, a share without its
// name, or a name holding a character Windows refuses (control characters, <>:"|?*).
// ".." never goes above the volume's root, as on Windows.
std::optional<WindowsPath> parse_windows_path(TextView path);

// A name Windows accepts as one entry of a folder: not empty, not "." or "..", no
// separator and no refused character.
bool is_entry_name(TextView name);

// The folder part and the last name of a path or pattern ("C:\a\*.ini" -> "C:\a", "*.ini";
// "C:\a\" -> "C:\a", ""). nullopt for a relative one.
struct FolderAndName {
    Text folder;
    Text name;
};
std::optional<FolderAndName> split_folder_and_name(TextView path);

} // namespace pelto::platform
