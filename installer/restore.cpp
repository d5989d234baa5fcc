#include "installer/restore.h"

#include "core/exit_status.h"
#include "core/workstation.h"
#include "installer/mdl_functions.h"
#include "installer/settings_backup.h"
#include "platform/folder_walk.h"
#include "platform/windows_path.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace pelto::installer {

namespace {

namespace attr = platform::attr;
using platform::Folder;

constexpr uint32_t kAnyEntry = attr::kHidden | attr::kSystem | attr::kDirectory;

struct KeptFile {
    Text name;
    std::string bytes;
    uint32_t attributes = 0; // read-only, hidden and system, as it was kept
};

int nothing_to_restore(platform::Platform& p, const std::string& why) {
    p.ui.message_box(kNothingToRestoreMessage, platform::MessageIcon::Information,
                     workstation::kAppTitle);
    p.log.write("restore ended (exit status " + std::to_string(exit_status::kNothingToRestore) +
                "): " + why + "; nothing is touched");
    return exit_status::kNothingToRestore;
}

// The staging folder and 보관, reached from the drive's root; null unless both are this
// program's private folders.
struct KeptPlace {
    std::unique_ptr<Folder> staging;
    std::unique_ptr<Folder> kept;
};

KeptPlace reach_kept(platform::Platform& p) {
    const std::optional<platform::FolderAndName> staging =
        platform::split_folder_and_name(workstation::kStagingFolder);
    platform::ReachedFolder drive = platform::reach_folder(p.files, p.log, staging->folder);
    if (!drive.folder || !drive.folder->trust(staging->name).private_folder()) {
        return {};
    }
    KeptPlace out;
    out.staging = drive.folder->open_folder(staging->name);
    if (out.staging && out.staging->trust(u"보관").private_folder()) {
        out.kept = out.staging->open_folder(u"보관");
    }
    return out;
}

// What a kept set holds, its files' names and sizes, for the plan: listed whatever the set
// is, read by nothing.
void list_set(Folder& kept, const KeptSet& set, KeptSetSummary& summary) {
    const std::unique_ptr<Folder> folder = kept.open_folder(set.name);
    const std::optional<std::vector<platform::DirEntry>> listed =
        folder ? folder->list(u"*", kAnyEntry) : std::nullopt;
    for (const platform::DirEntry& entry : listed.value_or(std::vector<platform::DirEntry>{})) {
        const std::unique_ptr<platform::File> file =
            (entry.attributes & attr::kDirectory) == 0
                ? folder->open_file(entry.name, platform::FileMode::Read)
                : nullptr;
        summary.files.push_back({entry.name, file ? file->size().value_or(0) : 0});
    }
}

// The files of one kept set, read whole before anything changes; nullopt, with the reason
// in the summary, when the set may not be read: the folder or a file in it is not the
// run's owner's, or a file cannot be read.
std::optional<std::vector<KeptFile>> read_set(Folder& kept, const KeptSet& set,
                                              KeptSetSummary& summary) {
    if (!kept.trust(set.name).owned_by_run) {
        summary.skipped = "the folder is not owned by this program's owner";
        return std::nullopt;
    }
    const std::unique_ptr<Folder> folder = kept.open_folder(set.name);
    const std::optional<std::vector<platform::DirEntry>> listed =
        folder ? folder->list(u"*", kAnyEntry) : std::nullopt;
    if (!listed) {
        summary.skipped = "the folder cannot be read";
        return std::nullopt;
    }
    std::vector<KeptFile> files;
    for (const platform::DirEntry& entry : *listed) {
        if ((entry.attributes & (attr::kDirectory | attr::kReparsePoint)) != 0 ||
            !folder->trust(entry.name).owned_by_run) {
            summary.skipped = to_utf8(entry.name) + " is not a file this program kept";
            return std::nullopt;
        }
        const std::unique_ptr<platform::File> file =
            folder->open_file(entry.name, platform::FileMode::ReadOneName);
        std::optional<std::string> bytes = file ? platform::read_all(*file) : std::nullopt;
        if (!bytes) {
            summary.skipped = to_utf8(entry.name) + " cannot be read";
            return std::nullopt;
        }
        files.push_back(
            KeptFile{entry.name, std::move(*bytes),
                     entry.attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem)});
    }
    if (files.empty()) {
        summary.skipped = "it holds no file";
    }
    return files;
}

// The set to restore and its files: the one named, or the newest that may be read and
// holds files. Every set looked at is summed up in `findings`.
struct Chosen {
    KeptSet set;
    std::vector<KeptFile> files;
};
std::optional<Chosen> choose_set(platform::Platform& p, Folder& kept, const Text& name,
                                 RestoreFindings& findings) {
    const Text now = folder_stamp(platform::local_time_now());
    std::optional<Chosen> chosen;
    for (const KeptSet& set : kept_sets(kept)) {
        KeptSetSummary summary;
        summary.folder = kept.path() + u"\\" + set.name;
        list_set(kept, set, summary);
        std::optional<std::vector<KeptFile>> files;
        if (set.stamp > now) {
            summary.skipped = "it is dated later than this computer's clock";
        } else {
            files = read_set(kept, set, summary);
        }
        if (!summary.skipped.empty()) {
            p.log.write("restore: " + to_utf8(summary.folder) +
                        " is passed over: " + summary.skipped);
        }
        const bool wanted = name.empty() ? !chosen : equals_ignore_case(set.name, name);
        if (wanted && summary.skipped.empty() && files) {
            chosen = Chosen{set, std::move(*files)};
            findings.source = summary.folder;
        }
        findings.sets.push_back(std::move(summary));
    }
    return chosen;
}

// Puts each file back; the faults, one per file that stays as it was.
std::vector<std::string> put_back(platform::Platform& p, Folder& bin, const Text& source,
                                  const std::vector<KeptFile>& files) {
    std::vector<std::string> faults;
    for (const KeptFile& file : files) {
        const Text target = Text(workstation::kBinFolder) + u"\\" + file.name;
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.bytes.data()),
                                             file.bytes.size());
        if (bin.replace_file(file.name, bytes, file.attributes)) {
            p.log.write("restore: " + to_utf8(target) + " put back from " + to_utf8(source) + " (" +
                        std::to_string(file.bytes.size()) + " bytes)");
        } else {
            faults.push_back(to_utf8(target) + " could not be put back");
        }
    }
    return faults;
}

} // namespace

int restore_settings(platform::Platform& p, const Text& name, RestoreFindings* findings) {
    p.log.write("restore of the kept settings files" +
                (name.empty() ? std::string(" (the newest)") : " from " + to_utf8(name)));
    // Only folders this program made are read: what another user could have put into
    // them would become the suite's settings.
    KeptPlace place = reach_kept(p);
    if (!place.kept) {
        return nothing_to_restore(p, "no kept settings files in folders this program made");
    }
    RestoreFindings found;
    std::optional<Chosen> chosen = choose_set(p, *place.kept, name, found);
    if (findings != nullptr) {
        *findings = found;
    }
    if (!chosen) {
        return nothing_to_restore(p, name.empty() ? "no kept folder that may be read holds files"
                                                  : "no kept folder " + to_utf8(name) +
                                                        " that may be read and holds files");
    }
    const platform::ReachedFolder bin = mdl함수::reach_bin_folder(p);
    if (!bin.folder) {
        return nothing_to_restore(p, "C:\\Pelto_H\\bin cannot be reached: " +
                                         platform::reach_text(bin));
    }
    // Every file about to be replaced is kept first, whatever its attributes, so that the
    // restore can be undone (error 75 stops it here); the set being read is never pruned.
    std::vector<Text> replaced;
    for (const KeptFile& file : chosen->files) {
        replaced.push_back(file.name);
    }
    const Text undo =
        keep_settings_files(p, *place.staging, bin.folder.get(),
                            folder_stamp(platform::local_time_now()), replaced, chosen->set.name);
    if (!undo.empty()) {
        p.log.write("restore: today's settings files kept in " + to_utf8(undo));
    }
    const std::vector<std::string> faults = put_back(p, *bin.folder, found.source, chosen->files);
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
    p.log.write("restore ended (exit status 0): the settings files of " + to_utf8(found.source) +
                " are back in C:\\Pelto_H\\bin");
    return exit_status::kCompleted;
}

} // namespace pelto::installer
