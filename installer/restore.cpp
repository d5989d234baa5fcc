#include "installer/restore.h"

#include "core/exit_status.h"
#include "core/workstation.h"
#include "installer/mdl_functions.h"
#include "installer/mdl_start.h"
#include "installer/settings_backup.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pelto::installer {

namespace {

namespace attr = platform::attr;

struct KeptFile {
    Text name;
    std::string bytes;
    uint32_t attributes = 0; // read-only, hidden and system, as it was kept
};

int nothing_to_restore(platform::Platform& p, TextView message, const std::string& why) {
    p.ui.message_box(message, platform::MessageIcon::Information, workstation::kAppTitle);
    p.log.write("restore ended (exit status " + std::to_string(exit_status::kNothingToRestore) +
                "): " + why + "; nothing is touched");
    return exit_status::kNothingToRestore;
}

// The files of one kept folder, read whole before anything changes (keeping today's
// files may prune the folder they come from). nullopt when one cannot be read.
std::optional<std::vector<KeptFile>> read_kept(platform::Folder& folder) {
    std::vector<KeptFile> files;
    constexpr uint32_t kAny = attr::kHidden | attr::kSystem | attr::kDirectory;
    for (const platform::DirEntry& entry : folder.list(u"*", kAny)) {
        if ((entry.attributes & (attr::kDirectory | attr::kReparsePoint)) != 0) {
            continue;
        }
        const std::unique_ptr<platform::File> file = folder.open_file(entry.name);
        std::optional<std::string> bytes = file ? platform::read_all(*file) : std::nullopt;
        if (!bytes) {
            return std::nullopt;
        }
        files.push_back(
            KeptFile{entry.name, std::move(*bytes),
                     entry.attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem)});
    }
    return files;
}

} // namespace

int restore_settings(platform::Platform& p, const Text& name) {
    p.log.write("restore of the kept settings files" +
                (name.empty() ? std::string(" (the newest)") : " from " + to_utf8(name)));
    // Only folders this program made are read: what another user could have put into
    // them would become the suite's settings.
    using platform::PrivateFolder;
    if (p.files.private_directory_state(workstation::kStagingFolder) != PrivateFolder::Trusted ||
        p.files.private_directory_state(workstation::kBackupFolder) != PrivateFolder::Trusted) {
        return nothing_to_restore(p, kNothingToRestoreMessage,
                                  "no kept settings files in folders this program made");
    }
    const std::vector<Text> kept = installer::kept_folder_names(p);
    const auto chosen =
        name.empty() ? kept.begin() : std::find_if(kept.begin(), kept.end(), [&](const Text& k) {
            return equals_ignore_case(k, name);
        });
    if (chosen == kept.end()) {
        return nothing_to_restore(p, kNothingToRestoreMessage,
                                  name.empty() ? "no kept folder"
                                               : "no kept folder " + to_utf8(name));
    }
    const Text folder = Text(workstation::kBackupFolder) + u"\\" + *chosen;
    const std::unique_ptr<platform::Folder> source = p.files.open_folder(folder);
    const std::optional<std::vector<KeptFile>> files = source ? read_kept(*source) : std::nullopt;
    if (!files || files->empty()) {
        return nothing_to_restore(p, kNothingToRestoreMessage,
                                  to_utf8(folder) + (files ? " holds no file" : " cannot be read"));
    }
    const std::unique_ptr<platform::Folder> bin = mdl함수::open_bin_folder(p);
    if (!bin) {
        return nothing_to_restore(p, kNothingToRestoreMessage,
                                  "C:\\Pelto_H\\bin is missing (or a link)");
    }

    // Today's files first, so that the restore can be undone (error 75 stops it here).
    const Text undo =
        installer::keep_settings_files(p, installer::folder_stamp(platform::local_time_now()));
    if (!undo.empty()) {
        p.log.write("restore: today's settings files kept in " + to_utf8(undo));
    }
    std::vector<std::string> faults;
    for (const KeptFile& file : *files) {
        const Text target = Text(workstation::kBinFolder) + u"\\" + file.name;
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.bytes.data()),
                                             file.bytes.size());
        if (bin->replace_file(file.name, bytes, file.attributes)) {
            p.log.write("restore: " + to_utf8(target) + " put back from " + to_utf8(folder) + " (" +
                        std::to_string(file.bytes.size()) + " bytes)");
        } else {
            faults.push_back(to_utf8(target) + " could not be put back");
        }
    }
    p.log.write("restore: registry and policy values are not restored (the run keeps no copy "
                "of them)");
    p.ui.message_box(kRestoredMessage, platform::MessageIcon::Information, workstation::kAppTitle);
    if (!faults.empty()) {
        std::string all;
        for (const std::string& fault : faults) {
            all += (all.empty() ? "" : "; ") + fault;
        }
        p.log.write("restore ended (exit status " +
                    std::to_string(exit_status::kCompletedWithFaults) + "): with faults: " + all);
        return exit_status::kCompletedWithFaults;
    }
    p.log.write("restore ended (exit status 0): the settings files of " + to_utf8(folder) +
                " are back in C:\\Pelto_H\\bin");
    return exit_status::kCompleted;
}

} // namespace pelto::installer
