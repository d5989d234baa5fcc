#include "platform/folder_walk.h"

#include "platform/windows_path.h"

#include <string>

namespace pelto::platform {

namespace {

// Every entry, hidden and system ones and folders too.
constexpr uint32_t kAnyEntry = attr::kHidden | attr::kSystem | attr::kDirectory;
// Links followed in one walk at most: more is a loop, or not an administrator's doing.
constexpr int kMostLinks = 8;

class Walk {
public:
    Walk(FileSystem& files, RunLog& log) : files_(files), log_(log) {}

    // `strict`: every folder below the volume's root must be one only its owner may change
    // (the folders a trusted link leads through).
    ReachedFolder to(const WindowsPath& path, bool strict) {
        ReachedFolder out;
        out.where = path.prefix(0);
        std::unique_ptr<Folder> folder = files_.open_volume(path.volume);
        if (!folder) {
            out.outcome = Reach::Refused;
            return out;
        }
        for (size_t i = 0; i < path.names.size(); ++i) {
            const Text& name = path.names[i];
            out.where = path.prefix(i + 1);
            if (strict && !owner_only(*folder, name, out.where)) {
                out.outcome = Reach::Link;
                return out;
            }
            std::unique_ptr<Folder> next = folder->open_folder(name);
            if (!next) {
                const Reach stop = why_not(*folder, name, out.where, next);
                if (!next) {
                    out.outcome = stop;
                    return out;
                }
            }
            folder = std::move(next);
        }
        out.outcome = Reach::Opened;
        out.folder = std::move(folder);
        return out;
    }

private:
    bool owner_only(Folder& folder, const Text& name, const Text& where) {
        const EntryTrust trust = folder.trust(name);
        if (!trust.exists || trust.owner_only_changes()) {
            return true; // a missing name stops the walk by itself
        }
        log_.write("the folder " + to_utf8(where) +
                   ", which a link leads through, may be changed by others (" + trust.rule +
                   "); the link is not followed");
        return false;
    }

    // Why `name` did not open as a folder; a link an administrator made is followed, and
    // `followed` then holds the folder it leads to.
    Reach why_not(Folder& folder, const Text& name, const Text& where,
                  std::unique_ptr<Folder>& followed) {
        // Only the entry itself says it is not there: a listing that fails lists nothing
        // too, and a folder that cannot be read is not a folder that is missing.
        if (!folder.trust(name).exists) {
            return Reach::Missing;
        }
        const std::optional<std::vector<DirEntry>> found = folder.list(name, kAnyEntry);
        if (!found || found->empty()) {
            return Reach::Refused;
        }
        const uint32_t attributes = found->front().attributes;
        if ((attributes & attr::kReparsePoint) != 0) {
            return follow(folder, found->front().name, where, followed);
        }
        return (attributes & attr::kDirectory) == 0 ? Reach::NotAFolder : Reach::Refused;
    }

    Reach follow(Folder& folder, const Text& name, const Text& where,
                 std::unique_ptr<Folder>& followed) {
        const EntryTrust trust = folder.trust(name);
        const std::optional<Text> target = folder.link_target(name);
        const std::string link = "the link " + to_utf8(where) +
                                 (target ? " (to " + to_utf8(*target) + ")" : std::string());
        if (!trust.owner_only_changes()) {
            log_.write(link + " was not made by an administrator, or others may change it (" +
                       trust.rule + "); it is not followed");
            return Reach::Link;
        }
        const std::optional<WindowsPath> parsed =
            target ? parse_windows_path(*target) : std::nullopt;
        if (!parsed || ++links_ > kMostLinks) {
            log_.write(link + " leads nowhere the run may go; it is not followed");
            return Reach::Link;
        }
        ReachedFolder reached = to(*parsed, true);
        if (reached.outcome != Reach::Opened) {
            log_.write(link + " is an administrator's, but " + reach_text(reached) +
                       "; it is not followed");
            return Reach::Link;
        }
        log_.write(link + " is an administrator's (" + trust.rule + "): followed");
        followed = std::move(reached.folder);
        return Reach::Opened;
    }

    FileSystem& files_;
    RunLog& log_;
    int links_ = 0;
};

} // namespace

ReachedFolder reach_folder(FileSystem& files, RunLog& log, TextView path) {
    const std::optional<WindowsPath> parsed = parse_windows_path(path);
    if (!parsed) {
        ReachedFolder out;
        out.where = Text(path);
        return out;
    }
    return Walk(files, log).to(*parsed, false);
}

std::string reach_text(const ReachedFolder& reached) {
    const std::string where = to_utf8(reached.where);
    switch (reached.outcome) {
    case Reach::Opened:
        return where + " is open";
    case Reach::Missing:
        return where + " is not there";
    case Reach::Link:
        return where + " is a link that is not followed";
    case Reach::NotAFolder:
        return where + " is not a folder";
    case Reach::Refused:
        break;
    }
    return where + " cannot be opened";
}

} // namespace pelto::platform
