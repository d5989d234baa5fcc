#include "platform/portable/profile_file.h"

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/portable/dos_attributes.h"
#include "platform/portable/host_files.h"
#include "platform/profile_rules.h"

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace pelto::platform::portable {

namespace fs = std::filesystem;

PortableProfiles::PortableProfiles(const MachineRoot& machine, RunLog& log)
    : machine_(machine), log_(log) {}

bool PortableProfiles::write_private_profile_string(TextView section, TextView key, TextView value,
                                                    TextView file) {
    const auto refuse = [&](const std::string& why) {
        // The value is never logged: it may be a password.
        log_.write("profile: [" + to_utf8(section) + "] " + to_utf8(key) + " in " + to_utf8(file) +
                   " not written: " + why);
        return false;
    };
    if (breaks_profile_lines(section) || breaks_profile_lines(key) || breaks_profile_lines(value)) {
        return refuse("a line break in the section, key or value would change other entries");
    }
    std::optional<fs::path> host = machine_.to_host(file);
    if (!host) {
        host = machine_.to_host(u"C:\\Windows\\" + Text(file));
    }
    if (!host) {
        return refuse("not a file path on this machine");
    }
    struct stat st {};
    bool exists = ::lstat(host->c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        host = machine_.follow_links(*host);
        if (!host) {
            return refuse("a link that leads off the machine");
        }
        exists = ::lstat(host->c_str(), &st) == 0;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        return refuse("not a file");
    }
    struct stat folder {};
    if (::stat(host->parent_path().c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        return refuse("the folder is missing");
    }
    std::string bytes;
    if (exists) {
        if ((dos::attributes(host->c_str(), st) & attr::kReadOnly) != 0) {
            return refuse("the file is read-only");
        }
        int error_number = 0;
        std::optional<std::string> read = read_whole_file(*host, error_number);
        if (!read) {
            return refuse("cannot read it: " + errno_text(error_number));
        }
        bytes = std::move(*read);
        // A Unicode profile file would be corrupted by code page 949 text.
        if (is_utf16_profile(bytes)) {
            return refuse("a UTF-16 file, which is left as it is");
        }
    }
    const std::string updated =
        write_profile_entry(bytes, to_cp949(section), to_cp949(key), to_cp949(value));
    if (exists && updated == bytes) {
        return true;
    }
    std::string error;
    if (!replace_file_atomically(*host, updated, exists ? &st : nullptr, error)) {
        return refuse(error);
    }
    return true;
}

} // namespace pelto::platform::portable
