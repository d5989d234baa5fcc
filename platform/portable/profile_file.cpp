#include "platform/portable/profile_file.h"

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/portable/dos_attributes.h"
#include "platform/portable/host_failure.h"
#include "platform/portable/host_files.h"
#include "platform/profile_rules.h"

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace pelto::platform::portable {

namespace fs = std::filesystem;

PortableProfiles::PortableProfiles(const MachineRoot& machine, RunLog& log)
    : machine_(machine), log_(log) {}

bool PortableProfiles::write_private_profile_strings(TextView section,
                                                     std::span<const ProfileEntry> entries,
                                                     TextView file) {
    const auto refuse = [&](const std::string& why) {
        log_.write(profile_not_written(section, entries, file, why));
        return false;
    };
    std::optional<fs::path> host = machine_.to_host(file);
    if (!host) {
        host = machine_.to_host(u"C:\\Windows\\" + Text(file));
    }
    // A call the system refused is named in its own line, as every service names it.
    const auto refuse_call = [&](const std::string& what, const HostRefusal& refusal) {
        log_os_failure(log_, errno_failure(refusal.error_number, refusal.call, file, *host));
        return refuse(what + errno_text(refusal.error_number));
    };
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
    std::optional<std::string> bytes;
    if (exists) {
        if ((dos::attributes(host->c_str(), st) & attr::kReadOnly) != 0) {
            return refuse("the file is read-only");
        }
        HostRefusal refusal;
        bytes = read_whole_file(*host, refusal);
        if (!bytes) {
            return refuse_call("cannot read it: ", refusal);
        }
    }
    const ProfileEdit edit = edit_profile(bytes, section, entries);
    if (!edit.refusal.empty()) {
        return refuse(edit.refusal);
    }
    if (!edit.bytes) {
        return true;
    }
    HostRefusal refusal;
    if (!replace_file_atomically(*host, *edit.bytes, exists ? &st : nullptr, refusal)) {
        return refuse_call("", refusal);
    }
    return true;
}

} // namespace pelto::platform::portable
