#include "installer/mdl_functions.h"

#include "platform/profile_rules.h"

#include <exception>
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
    } catch (const std::exception& e) {
        note(p, std::string(what) + " " + to_utf8(path) + ": " + e.what());
        return fallback;
    }
}

} // namespace

bool fG_DeleteFolder(platform::Platform& p, Text sPath) {
    // A drive root such as "C:\" keeps its backslash.
    if (ends_with(sPath, u"\\") && !ends_with(sPath, u":\\")) {
        sPath.pop_back();
    }
    // The look-up with the directory filter does not see hidden or system entries, so a
    // hidden folder is left alone.
    const std::vector<platform::DirEntry> found =
        guarded(p, "Dir", sPath, std::vector<platform::DirEntry>{},
                [&] { return p.files.list(sPath, attr::kDirectory); });
    if (found.empty()) {
        return false;
    }
    const std::optional<uint32_t> attributes =
        guarded(p, "GetAttr", sPath, std::optional<uint32_t>{},
                [&] { return p.files.get_attributes(sPath); });
    if (!attributes || (*attributes & attr::kDirectory) == 0) {
        return false;
    }
    if ((*attributes & attr::kReparsePoint) != 0) {
        // A link to a folder: what it points to is not ours to delete.
        if (!guarded(p, "remove link", sPath, false, [&] { return p.files.remove_link(sPath); })) {
            note(p, "the link " + to_utf8(sPath) + " stays");
        }
        return true;
    }
    if (!guarded(p, "SetAttr", sPath, false,
                 [&] { return p.files.set_attributes(sPath, attr::kNormal); })) {
        note(p, "SetAttr " + to_utf8(sPath) + " normal failed");
    }

    const Text base = ends_with(sPath, u"\\") ? sPath.substr(0, sPath.size() - 1) : sPath;
    const Text everything = base + u"\\*.*";
    const std::vector<platform::DirEntry> entries =
        guarded(p, "Dir", everything, std::vector<platform::DirEntry>{},
                [&] { return p.files.list(everything, kEverything); });
    bool has_files = false;
    std::vector<Text> subfolders;
    std::vector<Text> links;
    // Only collected while the listing is read; nothing is entered before it is done.
    for (const platform::DirEntry& entry : entries) {
        if (entry.name == u"." || entry.name == u"..") {
            continue;
        }
        Text full = base + u"\\" + entry.name;
        if ((entry.attributes & attr::kReparsePoint) != 0) {
            links.push_back(std::move(full));
        } else if ((entry.attributes & attr::kDirectory) == 0) {
            has_files = true;
            // Made normal so that Kill sees and may delete it; a file that then cannot
            // be deleted stays with normal attributes, its archive mark cleared too.
            if (!guarded(p, "SetAttr", full, false,
                         [&] { return p.files.set_attributes(full, attr::kNormal); })) {
                note(p, "SetAttr " + to_utf8(full) + " normal failed");
            }
        } else {
            subfolders.push_back(std::move(full));
        }
    }
    // Links go as links, before Kill, which would otherwise meet the ones to files.
    for (const Text& link : links) {
        if (!guarded(p, "remove link", link, false, [&] { return p.files.remove_link(link); })) {
            note(p, "the link " + to_utf8(link) + " stays");
        }
    }
    if (has_files &&
        !guarded(p, "Kill", everything, false, [&] { return p.files.delete_files(everything); })) {
        note(p, "Kill " + to_utf8(everything) + ": some files stay");
    }

    bool result = true;
    for (const Text& subfolder : subfolders) {
        const bool removed = fG_DeleteFolder(p, subfolder); // every subfolder, whatever came before
        result = result && removed;
    }
    if (!guarded(p, "RmDir", sPath, false, [&] { return p.files.remove_directory(sPath); })) {
        note(p, "RmDir " + to_utf8(sPath) + " failed; the folder stays");
    }
    return result;
}

std::vector<platform::DirEntry> fG_BinIniEntries(platform::Platform& p) {
    const Text folder(kBinFolder);
    const std::vector<platform::DirEntry> entries =
        guarded(p, "Dir", folder, std::vector<platform::DirEntry>{},
                [&] { return p.files.list(folder, attr::kDirectory); });
    std::vector<platform::DirEntry> selected;
    for (const platform::DirEntry& entry : entries) {
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

void sG_DeleteBinIniFiles(platform::Platform& p) {
    for (const platform::DirEntry& entry : fG_BinIniEntries(p)) {
        const Text file = Text(kBinFolder) + entry.name;
        if (!guarded(p, "Kill", file, false, [&] { return p.files.delete_files(file); })) {
            note(p, "Kill " + to_utf8(file) + " failed; it stays");
        }
    }
}

bool fG_WriteIni(platform::Platform& p, const Text& sSection, const Text& sKey, const Text& sValue,
                 const Text& sFile) {
    // A line break would write further entries into the file (a deciphered password
    // holding "\r\nserver_name=x" would rename the server) and a NUL would cut the text
    // short: such a write is refused on every platform, before the profile service sees
    // it. The result stays True, as for any write that does not land.
    if (platform::breaks_profile_lines(sSection) || platform::breaks_profile_lines(sKey) ||
        platform::breaks_profile_lines(sValue)) {
        note(p, "WritePrivateProfileString [" + to_utf8(sSection) + "] " + to_utf8(sKey) + " in " +
                    to_utf8(sFile) + " refused: a line break or NUL in the section, key or value");
        return true;
    }
    try {
        if (!p.profiles.write_private_profile_string(sSection, sKey, sValue, sFile)) {
            note(p, "WritePrivateProfileString [" + to_utf8(sSection) + "] " + to_utf8(sKey) +
                        " in " + to_utf8(sFile) + " failed (ignored)");
        }
    } catch (const std::exception& e) {
        note(p, "WritePrivateProfileString [" + to_utf8(sSection) + "] " + to_utf8(sKey) + " in " +
                    to_utf8(sFile) + " raised: " + e.what());
        return false;
    }
    return true;
}

} // namespace pelto::mdl함수
