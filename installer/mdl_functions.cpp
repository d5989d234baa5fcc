#include "installer/mdl_functions.h"

#include "core/error.h"
#include "core/workstation.h"
#include "platform/profile_rules.h"
#include "platform/windows_path.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace pelto::mdl함수 {

namespace {

namespace attr = platform::attr;

// vbReadOnly + vbHidden + vbSystem + vbDirectory + vbArchive: everything in a folder.
constexpr uint32_t kEverything =
    attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kDirectory | attr::kArchive;

void note(platform::Platform& p, const std::string& what) {
    p.log.write("functions: " + what);
}

// One step of an operation that ignores its errors: an error the step raises is logged
// and the operation goes on with its next step, with `fallback` as the step's result.
template <class Result, class Step>
Result guarded(platform::Platform& p, const char* what, const Text& path, Result fallback,
               Step&& step) {
    try {
        return step();
    } catch (const std::exception&) {
        const Error error = current_error();
        note(p, std::string(what) + " " + to_utf8(path) + ": error " +
                    std::to_string(error.number) + ", " + to_utf8(error.description));
        return fallback;
    }
}

} // namespace

namespace {

bool delete_entry(platform::Platform& p, platform::Folder& parent, const Text& path,
                  const Text& name);

// Steps 4 to 8 on the open folder `path`: the folder made normal, its files made normal
// and deleted, its links removed as links, then each of its subfolders in turn. What it
// does to the folder's content goes through the open folder, never through a path.
bool clear_folder(platform::Platform& p, platform::Folder& folder, const Text& path) {
    if (!guarded(p, "SetAttr", path, false, [&] { return folder.set_attributes(attr::kNormal); })) {
        note(p, "SetAttr " + to_utf8(path) + " normal failed");
    }
    const std::vector<platform::DirEntry> entries =
        guarded(p, "Dir", path + u"\\*.*", std::vector<platform::DirEntry>{}, [&] {
            return folder.list(u"*.*", kEverything).value_or(std::vector<platform::DirEntry>{});
        });
    bool has_files = false;
    std::vector<Text> subfolders;
    std::vector<Text> links;
    // Only collected while the listing is read; nothing is entered before it is done.
    for (const platform::DirEntry& entry : entries) {
        const Text full = path + u"\\" + entry.name;
        if ((entry.attributes & attr::kReparsePoint) != 0) {
            links.push_back(entry.name);
        } else if ((entry.attributes & attr::kDirectory) == 0) {
            has_files = true;
            // Made normal so that Kill sees and may delete it; a file that then cannot
            // be deleted stays with normal attributes, its archive mark cleared too.
            if (!guarded(p, "SetAttr", full, false,
                         [&] { return folder.set_attributes(entry.name, attr::kNormal); })) {
                note(p, "SetAttr " + to_utf8(full) + " normal failed");
            }
        } else {
            subfolders.push_back(entry.name);
        }
    }
    // Links go as links, before Kill, which would otherwise meet the ones to files.
    for (const Text& link : links) {
        if (!guarded(p, "remove link", path + u"\\" + link, false,
                     [&] { return folder.remove_link(link); })) {
            note(p, "the link " + to_utf8(path + u"\\" + link) + " stays");
        }
    }
    if (has_files &&
        !guarded(p, "Kill", path + u"\\*.*", false, [&] { return folder.delete_files(u"*.*"); })) {
        note(p, "Kill " + to_utf8(path) + "\\*.*: some files stay");
    }
    bool result = true;
    for (const Text& subfolder : subfolders) {
        // every subfolder, whatever came before
        const bool removed = delete_entry(p, folder, path + u"\\" + subfolder, subfolder);
        result = result && removed;
    }
    return result;
}

// Steps 2 to 10 for the entry `name` of the open folder `parent`, whose path is `path`.
bool delete_entry(platform::Platform& p, platform::Folder& parent, const Text& path,
                  const Text& name) {
    // The look-up with the directory filter does not see hidden or system entries, so a
    // hidden folder is left alone.
    const std::vector<platform::DirEntry> found =
        guarded(p, "Dir", path, std::vector<platform::DirEntry>{}, [&] {
            return parent.list(name, attr::kDirectory).value_or(std::vector<platform::DirEntry>{});
        });
    if (found.empty() || (found.front().attributes & attr::kDirectory) == 0) {
        return false;
    }
    if ((found.front().attributes & attr::kReparsePoint) != 0) {
        // A link to a folder: what it points to is not ours to delete.
        if (!guarded(p, "remove link", path, false, [&] { return parent.remove_link(name); })) {
            note(p, "the link " + to_utf8(path) + " stays");
        }
        return true;
    }
    // Opened without following a link: a link swapped in for the folder since the look-up
    // is refused here and left alone.
    std::unique_ptr<platform::Folder> folder =
        guarded(p, "open", path, std::unique_ptr<platform::Folder>{},
                [&] { return parent.open_folder(name); });
    if (!folder) {
        note(p, to_utf8(path) + " is no longer the folder it was; left alone");
        return true;
    }
    const bool result = clear_folder(p, *folder, path);
    folder.reset(); // a folder the run holds cannot be removed, not even by the run
    if (!guarded(p, "RmDir", path, false, [&] { return parent.remove_folder(name); })) {
        note(p, "RmDir " + to_utf8(path) + " failed; the folder stays");
    }
    return result;
}

} // namespace

bool fG_DeleteFolder(platform::Platform& p, Text sPath) {
    // A drive root such as "C:\" keeps its backslash.
    if (ends_with(sPath, u"\\") && !ends_with(sPath, u":\\")) {
        sPath.pop_back();
    }
    const std::optional<platform::WindowsPath> path = platform::parse_windows_path(sPath);
    if (!path) {
        return false; // a relative path names nothing
    }
    if (path->names.empty()) {
        // A drive's root has no folder above it and cannot be removed: its content goes.
        const platform::ReachedFolder root =
            guarded(p, "open", sPath, platform::ReachedFolder{},
                    [&] { return platform::reach_folder(p.files, p.log, path->prefix(0)); });
        return root.folder && clear_folder(p, *root.folder, path->volume);
    }
    // Everything below is done relative to the open folder that holds sPath, reached from
    // the drive's root without following a link.
    const Text above = path->prefix(path->names.size() - 1);
    const platform::ReachedFolder parent =
        guarded(p, "open", above, platform::ReachedFolder{},
                [&] { return platform::reach_folder(p.files, p.log, above); });
    if (!parent.folder) {
        return false;
    }
    return delete_entry(p, *parent.folder, sPath, path->names.back());
}

bool delete_folder_in(platform::Platform& p, platform::Folder& parent, TextView name) {
    Text path = parent.path();
    if (!ends_with(path, u"\\")) {
        path += u'\\';
    }
    return delete_entry(p, parent, path + Text(name), Text(name));
}

platform::ReachedFolder reach_bin_folder(platform::Platform& p) {
    const Text folder(workstation::kBinFolder);
    return guarded(p, "open", folder, platform::ReachedFolder{},
                   [&] { return platform::reach_folder(p.files, p.log, folder); });
}

std::optional<std::vector<platform::DirEntry>> bin_ini_entries(platform::Platform& p,
                                                               platform::Folder& bin) {
    const Text folder = Text(workstation::kBinFolder) + u"\\";
    const std::optional<std::vector<platform::DirEntry>> entries =
        guarded(p, "Dir", folder, std::optional<std::vector<platform::DirEntry>>{},
                [&] { return bin.list(u"*", attr::kDirectory); });
    if (!entries) {
        return std::nullopt;
    }
    std::vector<platform::DirEntry> selected;
    for (const platform::DirEntry& entry : *entries) {
        const Text& name = entry.name;
        if (name.empty() || name == u"." || name == u".." || !ends_with(name, u"ini")) {
            continue;
        }
        // Such a name cannot exist on Windows; as a pattern it would name other files.
        if (name.find_first_of(u"*?") != Text::npos) {
            note(p, "the name " + to_utf8(name) + " holds a wildcard; not deleted");
            continue;
        }
        selected.push_back(entry);
    }
    return selected;
}

BinIniDeletion delete_bin_ini_files(platform::Platform& p, platform::Folder& bin) {
    BinIniDeletion out;
    const std::optional<std::vector<platform::DirEntry>> entries = bin_ini_entries(p, bin);
    if (!entries) {
        note(p, "C:\\Pelto_H\\bin cannot be listed; no ini file is deleted");
        out.unreadable = true;
        return out;
    }
    for (const platform::DirEntry& entry : *entries) {
        const Text file = Text(workstation::kBinFolder) + u"\\" + entry.name;
        if (guarded(p, "Kill", file, false, [&] { return bin.delete_files(entry.name); })) {
            out.deleted.push_back(entry.name);
            continue;
        }
        note(p, "Kill " + to_utf8(file) + " failed; it stays");
        if (platform::kill_answer(entry.attributes) == platform::KillAnswer::Delete) {
            out.stayed.push_back(entry.name);
        }
    }
    return out;
}

void sG_DeleteBinIniFiles(platform::Platform& p) {
    // The folder is held open; each file goes relative to it, so a link swapped in for
    // the folder after it was opened cannot make the run delete elsewhere.
    const platform::ReachedFolder bin = reach_bin_folder(p);
    if (bin.folder) {
        delete_bin_ini_files(p, *bin.folder);
    }
}

bool fG_WriteIni(platform::Platform& p, const Text& sSection, const Text& sKey, const Text& sValue,
                 const Text& sFile) {
    const std::string what = "WritePrivateProfileString [" + to_utf8(sSection) + "] " +
                             to_utf8(sKey) + " in " + to_utf8(sFile);
    // A line break would write further entries into the file (a deciphered password
    // holding "\r\nserver_name=x" would rename the server) and a NUL would cut the text
    // short: such a write is refused on every platform, before the profile service sees
    // it. The result stays True, as for any write that does not land.
    if (platform::breaks_profile_lines(sSection) || platform::breaks_profile_lines(sKey) ||
        platform::breaks_profile_lines(sValue)) {
        note(p, what + " refused: a line break or NUL in the section, key or value");
        return true;
    }
    try {
        // A name without a folder is in the Windows folder, as for the system's function.
        const std::optional<platform::FolderAndName> parts = platform::split_folder_and_name(sFile);
        const Text folder = parts ? parts->folder : Text(u"C:\\Windows");
        const Text name = parts ? parts->name : sFile;
        const platform::ReachedFolder reached = platform::reach_folder(p.files, p.log, folder);
        if (!reached.folder) {
            note(p, what + " failed (ignored): " + platform::reach_text(reached));
        } else if (!p.profiles.write_private_profile_string(*reached.folder, name, sSection, sKey,
                                                            sValue)) {
            note(p, what + " failed (ignored)");
        }
    } catch (const std::exception& e) {
        note(p, what + " raised: " + e.what());
        return false;
    }
    return true;
}

} // namespace pelto::mdl함수
