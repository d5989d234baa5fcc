#include "platform/overlay/overlay_files.h"

#include "platform/dos_name.h"
#include "platform/windows_path.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace pelto::platform::overlay {

namespace {

constexpr uint32_t kEverything =
    attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kDirectory | attr::kArchive;

bool is_separator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// "C:\" or "\\host\share": a volume's root, which has no folder above it.
bool is_volume_root(TextView path) {
    if (path.size() == 3 && path[1] == u':' && is_separator(path[2])) {
        return true;
    }
    if (path.size() > 2 && is_separator(path[0]) && is_separator(path[1])) {
        const size_t host_end = path.find_first_of(u"\\/", 2);
        return host_end != TextView::npos &&
               path.find_first_of(u"\\/", host_end + 1) == TextView::npos;
    }
    return false;
}

// A path as this view keys it: "\" separators, no trailing one but a drive root's.
Text clean(TextView path) {
    Text out(path);
    std::replace(out.begin(), out.end(), u'/', u'\\');
    while (out.size() > 1 && out.back() == u'\\' && !is_volume_root(out)) {
        out.pop_back();
    }
    return out;
}

Text key_of(TextView path) {
    return to_upper(clean(path));
}

// The folder above a clean path; "" for a volume root.
Text parent_of(const Text& path) {
    if (is_volume_root(path)) {
        return {};
    }
    const size_t cut = path.find_last_of(u'\\');
    if (cut == Text::npos) {
        return {};
    }
    Text parent = path.substr(0, cut);
    if (parent.size() == 2 && parent[1] == u':') {
        parent += u'\\';
    }
    return parent;
}

Text name_of(const Text& path) {
    const size_t cut = path.find_last_of(u'\\');
    return cut == Text::npos ? path : path.substr(cut + 1);
}

Text join(const Text& folder, TextView name) {
    return ends_with(folder, u"\\") ? folder + Text(name) : folder + u"\\" + Text(name);
}

// Whether the path `path` lies below the folder `folder` (both clean, in the same case).
bool is_below(const Text& path, const Text& folder) {
    return path.size() > folder.size() && path.starts_with(folder) &&
           (ends_with(folder, u"\\") || path[folder.size()] == u'\\');
}

// What `path`, below `folder`, is below `onto`.
Text rebased(const Text& path, const Text& folder, const Text& onto) {
    const size_t cut = folder.size() + (ends_with(folder, u"\\") ? 0 : 1);
    return join(onto, TextView(path).substr(cut));
}

// A file of the plan's own, read from memory.
class MemoryFile final : public File {
public:
    explicit MemoryFile(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
    std::optional<uint64_t> size() override { return bytes_->size(); }
    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        const size_t n = std::min(buffer.size(), bytes_->size() - position_);
        std::memcpy(buffer.data(), bytes_->data() + position_, n);
        position_ += n;
        return n;
    }
    bool write(std::span<const uint8_t>) override { return false; }

private:
    std::shared_ptr<const std::string> bytes_;
    size_t position_ = 0;
};

// A file the planned run writes: its bytes go into the view when it is closed.
class WrittenFile final : public File {
public:
    WrittenFile(std::string start, std::function<void(std::string)> done)
        : bytes_(std::move(start)), done_(std::move(done)) {}
    ~WrittenFile() override { done_(std::move(bytes_)); }
    WrittenFile(const WrittenFile&) = delete;
    WrittenFile& operator=(const WrittenFile&) = delete;

    std::optional<uint64_t> size() override { return bytes_.size(); }
    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        const size_t n = std::min(buffer.size(), bytes_.size() - position_);
        std::memcpy(buffer.data(), bytes_.data() + position_, n);
        position_ += n;
        return n;
    }
    bool write(std::span<const uint8_t> data) override {
        if (bytes_.size() < position_ + data.size()) {
            bytes_.resize(position_ + data.size());
        }
        std::memcpy(bytes_.data() + position_, data.data(), data.size());
        position_ += data.size();
        return true;
    }

private:
    std::string bytes_;
    size_t position_ = 0;
    std::function<void(std::string)> done_;
};

} // namespace

// An open folder of the view: every operation goes through the view by path, which is
// safe here, since nothing on the machine is changed.
class OverlayFolder final : public Folder {
public:
    OverlayFolder(OverlayFileSystem& view, Text path)
        : view_(view), path_(std::move(path)), key_(key_of(path_)) {
        ++view_.held_[key_];
    }
    ~OverlayFolder() override {
        if (--view_.held_[key_] == 0) {
            view_.held_.erase(key_);
        }
    }
    OverlayFolder(const OverlayFolder&) = delete;
    OverlayFolder& operator=(const OverlayFolder&) = delete;

    const Text& path() const override { return path_; }
    std::optional<uint32_t> attributes() override { return view_.get_attributes(path_); }
    bool set_attributes(uint32_t attributes) override {
        return view_.set_attributes(path_, attributes);
    }
    std::optional<std::vector<DirEntry>> list(TextView pattern,
                                              uint32_t attribute_filter) override {
        std::vector<DirEntry> out = view_.entries(path_, pattern);
        std::erase_if(out, [&](const DirEntry& e) {
            return !dir_filter_passes(e.attributes, attribute_filter);
        });
        return out;
    }
    bool set_attributes(TextView name, uint32_t attributes) override {
        const Text path = join(path_, name);
        const OverlayFileSystem::Entry e = view_.look_up(path);
        // A file of the machine with a second name is refused as the machine refuses it.
        if (e.kind == OverlayFileSystem::Entry::Kind::File && e.real &&
            view_.real().open_file(e.origin, FileMode::Read) &&
            !view_.real().open_file(e.origin, FileMode::ReadOneName)) {
            view_.log_.write("SetAttr " + to_utf8(path) +
                             " refused: the file has another name, and its attributes are that "
                             "file's too");
            return false;
        }
        return view_.set_attributes(path, attributes);
    }
    bool delete_files(TextView pattern) override { return view_.delete_files(path_, pattern); }
    bool remove_link(TextView name) override {
        const Text path = join(path_, name);
        const OverlayFileSystem::Entry e = view_.look_up(path);
        if (e.kind == OverlayFileSystem::Entry::Kind::Absent ||
            (e.attributes & attr::kReparsePoint) == 0) {
            return false;
        }
        view_.remove(path, PlanEvent::Kind::LinkRemoved, 0);
        return true;
    }
    bool remove_folder(TextView name) override {
        const Text path = join(path_, name);
        const OverlayFileSystem::Entry e = view_.look_up(path);
        if (e.kind != OverlayFileSystem::Entry::Kind::Folder ||
            (e.attributes & (attr::kReparsePoint | attr::kReadOnly)) != 0 ||
            view_.held_at_or_below(key_of(path)) || !view_.entries(path, u"*").empty()) {
            return false;
        }
        view_.remove(path, PlanEvent::Kind::FolderRemoved, 0);
        return true;
    }
    std::unique_ptr<Folder> open_folder(TextView name) override {
        return view_.open_folder(join(path_, name));
    }
    std::unique_ptr<File> open_file(TextView name, FileMode mode) override {
        return view_.open_file(join(path_, name), mode);
    }
    std::unique_ptr<File> create_private_file(TextView name) override {
        const Text path = join(path_, name);
        if (view_.look_up(path).kind != OverlayFileSystem::Entry::Kind::Absent) {
            return nullptr;
        }
        OverlayFileSystem& view = view_;
        return std::make_unique<WrittenFile>(std::string(), [&view, path](std::string bytes) {
            const uint64_t size = bytes.size();
            view.put_file(path, std::move(bytes), attr::kArchive);
            view.changed_.at(key_of(path)).access = PrivateAccess::AdministratorsOnly;
            view.plan_.add(PlanEvent::Kind::FileKept, path).size = size;
        });
    }
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override {
        const Text path = join(path_, name);
        const OverlayFileSystem::Entry e = view_.look_up(path);
        if (e.kind == OverlayFileSystem::Entry::Kind::Folder ||
            (e.attributes & attr::kReparsePoint) != 0) {
            return false;
        }
        view_.put_file(path, std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       attributes);
        PlanEvent& event = view_.plan_.add(PlanEvent::Kind::FileReplaced, path);
        event.size = bytes.size();
        event.replaced = e.kind != OverlayFileSystem::Entry::Kind::Absent;
        return true;
    }
    MadeFolder make_private_folder(TextView name, PrivateAccess access) override {
        const Text path = join(path_, name);
        MadeFolder out;
        out.rule = trust(name).rule;
        out.state = view_.make_private_directory(path, access);
        if (out.state == PrivateFolder::Created || out.state == PrivateFolder::Trusted) {
            out.folder = view_.open_folder(path);
        }
        return out;
    }
    EntryTrust trust(TextView name) override {
        const OverlayFileSystem::Entry e = view_.look_up(join(path_, name));
        if (e.kind == OverlayFileSystem::Entry::Kind::Absent) {
            return EntryTrust{};
        }
        if (e.rights_of.empty()) {
            // What the plan made is the run's own.
            return EntryTrust{true, true, false, true, "made by this run"};
        }
        return view_.machine_trust(e.rights_of);
    }
    bool move(TextView name, Folder& destination, TextView new_name) override {
        return view_.move(join(path_, name), join(destination.path(), new_name));
    }
    std::optional<Text> link_target(TextView name) override {
        const OverlayFileSystem::Entry e = view_.look_up(join(path_, name));
        return e.real ? view_.machine_link_target(e.origin) : std::nullopt;
    }

private:
    OverlayFileSystem& view_;
    Text path_;
    Text key_;
};

OverlayFileSystem::OverlayFileSystem(FileSystem& real, PlanRecord& plan, RunLog& log)
    : real_(real), real_paths_(real, log), plan_(plan), log_(log) {}

bool OverlayFileSystem::held_at_or_below(const Text& path) const {
    const auto it = held_.lower_bound(path);
    return it != held_.end() && (it->first == path || is_below(it->first, path));
}

EntryTrust OverlayFileSystem::machine_trust(const Text& machine_path) {
    const std::optional<FolderAndName> at = split_folder_and_name(machine_path);
    const std::unique_ptr<Folder> folder = at ? real_paths_.open_folder(at->folder) : nullptr;
    return folder ? folder->trust(at->name) : EntryTrust{};
}

std::optional<Text> OverlayFileSystem::machine_link_target(const Text& machine_path) {
    const std::optional<FolderAndName> at = split_folder_and_name(machine_path);
    const std::unique_ptr<Folder> folder = at ? real_paths_.open_folder(at->folder) : nullptr;
    return folder ? folder->link_target(at->name) : std::nullopt;
}

std::optional<DirEntry> OverlayFileSystem::machine_entry(const Text& machine_path) {
    // Listed in its folder, the entry has its name as spelled there. A root, or a share
    // whose server is no folder to list, is only asked for its attributes.
    const std::optional<FolderAndName> at = split_folder_and_name(machine_path);
    const std::unique_ptr<Folder> folder = at && !at->name.empty() && !has_wildcards(at->name)
                                               ? real_paths_.open_folder(at->folder)
                                               : nullptr;
    if (!folder) {
        const std::optional<uint32_t> attributes = real_paths_.get_attributes(machine_path);
        return attributes ? std::optional<DirEntry>(DirEntry{name_of(machine_path), *attributes})
                          : std::nullopt;
    }
    std::optional<std::vector<DirEntry>> found = folder->list(at->name, kEverything);
    if (!found || found->empty()) {
        return std::nullopt;
    }
    return std::move(found->front());
}

bool OverlayFileSystem::changed_by_plan(TextView path) const {
    return changed_.count(key_of(path)) != 0;
}

OverlayFileSystem::Entry& OverlayFileSystem::put(const Text& path, Entry entry) {
    return changed_.insert_or_assign(key_of(path), std::move(entry)).first->second;
}

std::unique_ptr<Folder> OverlayFileSystem::open_volume(TextView volume) {
    const std::optional<WindowsPath> parsed = parse_windows_path(volume);
    if (!parsed || !parsed->names.empty()) {
        return nullptr;
    }
    return open_folder(parsed->prefix(0));
}

OverlayFileSystem::Entry OverlayFileSystem::look_up(TextView path) {
    const Text cleaned = clean(path);
    const Text key = to_upper(cleaned);
    if (const auto it = changed_.find(key); it != changed_.end()) {
        return it->second;
    }
    // The nearest folder above that the plan changed decides: one it removed, or made
    // itself, hides what the machine has below it; below one of the machine's (moved, or
    // with other attributes) is what the machine has below that folder's origin.
    Text machine_path = cleaned;
    for (Text above = parent_of(key); !above.empty(); above = parent_of(above)) {
        if (const auto it = changed_.find(above); it != changed_.end()) {
            if (it->second.kind != Entry::Kind::Folder || !it->second.real) {
                return Entry::absent(name_of(cleaned));
            }
            machine_path = rebased(cleaned, above, it->second.origin);
            break;
        }
    }
    const std::optional<DirEntry> entry = machine_entry(machine_path);
    if (!entry) {
        return Entry::absent(name_of(cleaned));
    }
    const bool folder = (entry->attributes & attr::kDirectory) != 0;
    Entry found(folder ? Entry::Kind::Folder : Entry::Kind::File, entry->name, entry->attributes,
                true);
    found.origin = machine_path;
    found.rights_of = machine_path;
    return found;
}

OverlayFileSystem::Entry& OverlayFileSystem::override_of(const Text& path) {
    const Text key = key_of(path);
    auto it = changed_.find(key);
    if (it == changed_.end()) {
        it = changed_.emplace(key, look_up(path)).first;
    }
    return it->second;
}

std::vector<DirEntry> OverlayFileSystem::entries(const Text& folder, TextView pattern) {
    const Entry here = look_up(folder);
    if (here.kind != Entry::Kind::Folder || (here.attributes & attr::kReparsePoint) != 0) {
        return {};
    }
    const Text key = key_of(folder);
    std::map<Text, DirEntry> found; // by upper-cased name, as NTFS orders them
    if (here.real) {
        for (DirEntry& e : real_paths_.list(join(here.origin, u"*"), kEverything)) {
            if (e.name == u"." || e.name == u".." || changed_.count(key_of(join(key, e.name)))) {
                continue;
            }
            if (dos_name_matches(pattern, e.name)) {
                found.emplace(to_upper(e.name), std::move(e));
            }
        }
    }
    for (const auto& [k, e] : changed_) {
        if (e.kind != Entry::Kind::Absent && parent_of(k) == key &&
            dos_name_matches(pattern, e.name)) {
            found.insert_or_assign(to_upper(e.name), DirEntry{e.name, e.attributes});
        }
    }
    std::vector<DirEntry> out;
    out.reserve(found.size());
    for (auto& [order, e] : found) {
        out.push_back(std::move(e));
    }
    return out;
}

uint64_t OverlayFileSystem::size_of(TextView path) {
    const Entry e = look_up(path);
    if (e.kind != Entry::Kind::File) {
        return 0;
    }
    if (e.bytes) {
        return e.bytes->size();
    }
    const std::unique_ptr<File> file = real_paths_.open_file(e.origin, FileMode::Read);
    return file ? file->size().value_or(0) : 0;
}

void OverlayFileSystem::remove(const Text& path, PlanEvent::Kind kind, uint64_t size) {
    const Text key = key_of(path);
    // What the plan put below it goes with it.
    std::erase_if(changed_, [&](const auto& item) {
        return item.first.size() > key.size() && item.first.starts_with(key) &&
               item.first[key.size()] == u'\\';
    });
    changed_.insert_or_assign(key, Entry::absent(name_of(clean(path))));
    plan_.add(kind, clean(path)).size = size;
}

std::optional<uint32_t> OverlayFileSystem::get_attributes(TextView path) {
    const Entry e = look_up(path);
    if (e.kind == Entry::Kind::Absent) {
        return std::nullopt;
    }
    return e.attributes;
}

bool OverlayFileSystem::set_attributes(TextView path, uint32_t attributes) {
    const Entry e = look_up(path);
    if (e.kind == Entry::Kind::Absent || (e.attributes & attr::kReparsePoint) != 0) {
        return false;
    }
    Entry& changed = override_of(clean(path));
    const bool folder = e.kind == Entry::Kind::Folder;
    changed.attributes = (attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem)) |
                         (folder ? attr::kDirectory : attr::kArchive);
    return true;
}

bool OverlayFileSystem::delete_files(TextView folder_path, TextView pattern) {
    const Text folder = clean(folder_path);
    return kill_each(entries(folder, pattern), [&](const DirEntry& e) {
        const Text path = join(folder, e.name);
        const bool link = (e.attributes & attr::kReparsePoint) != 0;
        remove(path, link ? PlanEvent::Kind::LinkRemoved : PlanEvent::Kind::FileDeleted,
               link ? 0 : size_of(path));
        return true;
    });
}

std::unique_ptr<Folder> OverlayFileSystem::open_folder(TextView path) {
    const Entry e = look_up(path);
    if (e.kind != Entry::Kind::Folder || (e.attributes & attr::kReparsePoint) != 0) {
        return nullptr;
    }
    return std::make_unique<OverlayFolder>(*this, clean(path));
}

PrivateFolder OverlayFileSystem::private_directory_state(TextView path) {
    const Entry e = look_up(path);
    if (e.kind == Entry::Kind::Absent) {
        const Text parent = parent_of(clean(path));
        return !parent.empty() && look_up(parent).kind == Entry::Kind::Folder
                   ? PrivateFolder::Created
                   : PrivateFolder::Refused;
    }
    if (e.kind != Entry::Kind::Folder || (e.attributes & attr::kReparsePoint) != 0) {
        return PrivateFolder::Untrusted;
    }
    // A folder the plan made is the run's own; one of the machine's is judged on the machine
    // by the real rule, wherever the plan moved it.
    return e.rights_of.empty() ? PrivateFolder::Trusted
                               : real_paths_.private_directory_state(e.rights_of);
}

PrivateFolder OverlayFileSystem::make_private_directory(TextView path, PrivateAccess access) {
    const PrivateFolder state = private_directory_state(path);
    if (state == PrivateFolder::Created) {
        put(clean(path), Entry(Entry::Kind::Folder, name_of(clean(path)), attr::kDirectory, false))
            .access = access;
        plan_.add(PlanEvent::Kind::FolderMade, clean(path)).after =
            access == PrivateAccess::AdministratorsOnly
                ? u"administrators only"
                : u"administrators change it, users read it";
    }
    return state;
}

bool OverlayFileSystem::move(TextView from, TextView to) {
    const Text from_key = key_of(from);
    const Text to_key = key_of(to);
    const Entry source = look_up(from);
    const Text to_parent = parent_of(clean(to));
    if (source.kind == Entry::Kind::Absent || look_up(to).kind != Entry::Kind::Absent ||
        is_below(to_key, from_key) || to_parent.empty() ||
        look_up(to_parent).kind != Entry::Kind::Folder || held_at_or_below(from_key)) {
        return false;
    }
    // The entry goes with what it holds: the machine's entries below it stay the machine's
    // below its origin, and what the plan changed below it moves along.
    Entry moved = source;
    moved.name = name_of(clean(to));
    std::map<Text, Entry> below;
    std::erase_if(changed_, [&](auto& item) {
        if (is_below(item.first, to_key)) {
            return true;
        }
        if (!is_below(item.first, from_key)) {
            return false;
        }
        below.emplace(rebased(item.first, from_key, to_key), std::move(item.second));
        return true;
    });
    changed_.insert_or_assign(from_key, Entry::absent(name_of(clean(from))));
    changed_.insert_or_assign(to_key, std::move(moved));
    changed_.merge(below);
    plan_.add(PlanEvent::Kind::Moved, clean(from)).after = clean(to);
    return true;
}

std::unique_ptr<File> OverlayFileSystem::open_file(TextView path, FileMode mode) {
    const Entry e = look_up(path);
    if (mode != FileMode::ReadWrite) {
        if (e.kind != Entry::Kind::File || (e.attributes & attr::kReparsePoint) != 0) {
            return nullptr;
        }
        if (e.bytes) {
            return std::make_unique<MemoryFile>(e.bytes);
        }
        // The machine's file, by the machine's rule for the mode (a held file is only read).
        const FileMode real_mode = mode == FileMode::Hold ? FileMode::ReadOneName : mode;
        return real_paths_.open_file(e.origin, real_mode);
    }
    const Text parent = parent_of(clean(path));
    if (e.kind == Entry::Kind::Folder || (e.attributes & attr::kReadOnly) != 0 || parent.empty() ||
        look_up(parent).kind != Entry::Kind::Folder) {
        return nullptr;
    }
    const Text target = clean(path);
    const bool existed = e.kind != Entry::Kind::Absent;
    return std::make_unique<WrittenFile>(
        read_bytes(path).value_or(""), [this, target, existed](std::string bytes) {
            const uint64_t size = bytes.size();
            put_file(target, std::move(bytes), attr::kArchive);
            PlanEvent& event = plan_.add(PlanEvent::Kind::FileReplaced, target);
            event.size = size;
            event.replaced = existed;
        });
}

Text OverlayFileSystem::program_folder() {
    return real_.program_folder();
}

std::optional<std::string> OverlayFileSystem::read_bytes(TextView path) {
    const std::unique_ptr<File> file = open_file(path, FileMode::Read);
    return file ? read_all(*file) : std::nullopt;
}

void OverlayFileSystem::put_file(TextView path, std::string bytes, uint32_t attributes) {
    Entry file(Entry::Kind::File, name_of(clean(path)),
               (attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem)) | attr::kArchive,
               false);
    file.bytes = std::make_shared<const std::string>(std::move(bytes));
    // A file it replaces keeps its name as spelled, and its rights.
    if (const Entry there = look_up(path); there.kind == Entry::Kind::File) {
        file.name = there.name;
        file.rights_of = there.rights_of;
        file.access = there.access;
    }
    put(clean(path), std::move(file));
}

void OverlayFileSystem::put_copy(TextView path, TextView source) {
    const Entry from = look_up(source);
    Entry copy(Entry::Kind::File, name_of(clean(path)),
               (from.attributes & (attr::kReadOnly | attr::kHidden | attr::kSystem)) |
                   attr::kArchive,
               false);
    copy.bytes = from.bytes;
    if (!from.bytes) {
        copy.origin = from.origin;
    }
    put(clean(path), std::move(copy));
}

void OverlayFileSystem::ensure_folder(TextView path) {
    if (look_up(path).kind == Entry::Kind::Absent) {
        put(clean(path), Entry(Entry::Kind::Folder, name_of(clean(path)), attr::kDirectory, false));
    }
}

} // namespace pelto::platform::overlay
