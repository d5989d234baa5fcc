// The rules by which WritePrivateProfileStringA edits a profile (INI) file, on the file's
// bytes in code page 949. Both platforms write Pelto.ini through them, so the file's
// bytes never depend on the machine's own code page: the section and the key are found
// without regard to case or surrounding blanks; an existing key line is replaced in place;
// a missing key goes after the last non-blank line of its section; a missing section goes
// at the end of the file after a blank line; a missing file is created. Every other byte
// of the file stays as it was, line ends and a missing final line end included; added
// lines take the line end of their neighbour (a new file takes "\r\n").
#pragma once

#include "core/text.h"
#include "platform/profile.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelto::platform {

// The content of a profile file after key=value has been written into [section]; all
// four in code page 949 bytes. `file` is empty for a new file.
std::string write_profile_entry(std::string_view file, std::string_view section,
                                std::string_view key, std::string_view value);

// The value of `key` in [section] of a profile file's code page 949 bytes, as
// GetPrivateProfileString reads it (blanks around it dropped); nullopt when it is not
// there.
std::optional<Text> read_profile_value(std::string_view file, TextView section, TextView key);

// True when the text holds a line break or a NUL: written into the file it would change
// or add other entries, so the writers refuse it.
bool breaks_profile_lines(TextView text);

// True when the file starts with a UTF-16 byte order mark: code page 949 text would
// corrupt it, so the writers leave it as it is.
bool is_utf16_profile(std::string_view file);

// What writing each key=value of `entries` into [section], in their order, makes of a
// profile file whose bytes are `file` (nullopt: no file yet), the same on every platform:
// the refusal of a line break in the section, a key or a value and of a UTF-16 file
// (then no key is written), else the file's new bytes, or none when it stays as it is.
struct ProfileEdit {
    std::string refusal;              // not empty: nothing may be written, and why
    std::optional<std::string> bytes; // what the file becomes; nullopt: left as it is
};
ProfileEdit edit_profile(const std::optional<std::string>& file, TextView section,
                         std::span<const ProfileEntry> entries);

// How the run log names a write of `entries`: "[section] key, key in file", never a value
// (a value may be a password).
std::string profile_write_subject(TextView section, std::span<const ProfileEntry> entries,
                                  TextView file);
// The run log's line for a write that did not land, and why; never a value.
std::string profile_not_written(TextView section, std::span<const ProfileEntry> entries,
                                TextView file, std::string_view why);

} // namespace pelto::platform
