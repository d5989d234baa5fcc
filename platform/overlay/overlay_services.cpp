#include "platform/overlay/overlay_services.h"

#include "core/error.h"
#include "platform/ado_connection_string.h"
#include "platform/codepage.h"
#include "platform/profile_rules.h"

#include <string>

namespace pelto::platform::overlay {

namespace {

// Where SQL Server's client libraries look for their aliases.
constexpr TextView kConnectToKey = u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";

std::pair<Text, Text> value_key(TextView key_path, TextView value_name) {
    return {to_upper(key_path), to_upper(value_name)};
}

// A value's data as the plan shows it: text, a number, or its bytes.
Text shown(const RegistryData& value) {
    if (value.type == kRegSz || value.type == kRegExpandSz) {
        std::string bytes(value.data.begin(), value.data.end());
        while (!bytes.empty() && bytes.back() == '\0') {
            bytes.pop_back();
        }
        return u"\"" + from_cp949(bytes) + u"\"";
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        const uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                static_cast<uint32_t>(value.data[3]) << 24;
        return from_utf8(std::to_string(number));
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex = "hex(" + std::to_string(value.type) + "):";
    for (size_t i = 0; i < value.data.size(); ++i) {
        hex += (i == 0 ? "" : ",");
        hex += kHex[value.data[i] >> 4];
        hex += kHex[value.data[i] & 0xF];
    }
    return from_utf8(hex);
}

// A program that has run to its end at once.
class FinishedProcess final : public Process {
public:
    uint32_t id() const override { return 0; }
    std::optional<uint32_t> wait_for_exit() override { return 0; }
};

class PlanOwnerWindow final : public OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};

} // namespace

// A key of the planned registry: reads see the plan's writes first. It allows what it was
// opened for, as the machine's key does.
class OverlayKey final : public RegistryKey {
public:
    OverlayKey(OverlayRegistry& registry, Text path, uint32_t access)
        : registry_(registry), path_(std::move(path)), access_(access) {}

    long set_value(TextView value_name, uint32_t type, std::span<const uint8_t> data) override {
        if ((access_ & kKeySetValue) == 0) {
            return kRegAccessDenied;
        }
        RegistryData value{type, std::vector<uint8_t>(data.begin(), data.end())};
        const std::optional<RegistryData> before = registry_.value(path_, value_name);
        PlanEvent& event = registry_.plan_.add(PlanEvent::Kind::RegistryWrite, path_);
        event.name = Text(value_name);
        event.before = before ? std::optional<Text>(shown(*before)) : std::nullopt;
        event.after = shown(value);
        registry_.written_[value_key(path_, value_name)] = std::move(value);
        return kRegSuccess;
    }
    std::optional<RegistryData> query_value(TextView value_name) override {
        if ((access_ & kKeyQueryValue) == 0) {
            return std::nullopt;
        }
        return registry_.value(path_, value_name);
    }

private:
    OverlayRegistry& registry_;
    Text path_;
    uint32_t access_;
};

long OverlayRegistry::open_local_machine_key(TextView path, uint32_t access,
                                             std::unique_ptr<RegistryKey>& key) {
    // The key is only looked at: a missing one answers as it would the run.
    std::unique_ptr<RegistryKey> real_key;
    const long status = real_.open_local_machine_key(path, kKeyQueryValue, real_key);
    key.reset();
    if (status == kRegSuccess) {
        key = std::make_unique<OverlayKey>(*this, Text(path), access);
    }
    return status;
}

std::optional<RegistryData> OverlayRegistry::value(TextView key_path, TextView value_name) {
    if (const auto it = written_.find(value_key(key_path, value_name)); it != written_.end()) {
        return it->second;
    }
    std::unique_ptr<RegistryKey> key;
    if (real_.open_local_machine_key(key_path, kKeyQueryValue, key) != kRegSuccess || !key) {
        return std::nullopt;
    }
    return key->query_value(value_name);
}

std::optional<RegistryData> OverlayRegistry::written(TextView key_path, TextView value_name) const {
    if (const auto it = written_.find(value_key(key_path, value_name)); it != written_.end()) {
        return it->second;
    }
    return std::nullopt;
}

bool OverlayProfiles::write_private_profile_strings(Folder& folder, TextView name, TextView section,
                                                    std::span<const ProfileEntry> entries) {
    Text path = folder.path();
    if (!ends_with(path, u"\\")) {
        path += u'\\';
    }
    path += Text(name);
    // Each key beside its value in the settings file the machine has today.
    std::optional<std::string> today;
    if (const std::unique_ptr<File> real = files_.real().open_file(path, FileMode::Read)) {
        today = read_all(*real);
    }
    if (!writer_.write_private_profile_strings(folder, name, section, entries)) {
        return false;
    }
    for (const ProfileEntry& entry : entries) {
        PlanEvent& event = plan_.add(PlanEvent::Kind::SettingWritten, path);
        event.name = u"[" + Text(section) + u"] " + entry.key;
        event.before = today ? read_profile_value(*today, section, entry.key) : std::nullopt;
        event.after = entry.value;
    }
    return true;
}

int OverlayShellCopy::copy_file(const OwnerWindow& /*owner*/, TextView source_file,
                                Folder& destination_folder_open) {
    const Text& destination_folder = destination_folder_open.path();
    using Kind = OverlayFileSystem::Entry::Kind;
    constexpr int kNotFound = 2;     // ERROR_FILE_NOT_FOUND
    constexpr int kPathNotFound = 3; // ERROR_PATH_NOT_FOUND
    const OverlayFileSystem::Entry source = files_.look_up(source_file);
    if (source.kind != Kind::File) {
        return kNotFound;
    }
    if (files_.look_up(destination_folder).kind != Kind::Folder) {
        return kPathNotFound;
    }
    Text destination(destination_folder);
    if (!ends_with(destination, u"\\")) {
        destination += u'\\';
    }
    destination += source.name;
    const OverlayFileSystem::Entry there = files_.look_up(destination);
    if (there.kind == Kind::Folder) {
        return kPathNotFound;
    }
    files_.put_copy(destination, source_file);
    PlanEvent& event = plan_.add(PlanEvent::Kind::Copied, Text(source_file));
    event.after = destination;
    event.size = files_.size_of(destination);
    event.replaced = there.kind == Kind::File;
    return 0;
}

std::optional<std::string> OverlayProcesses::cannot_start(TextView path) {
    const OverlayFileSystem::Entry e = files_.look_up(path);
    if (e.kind != OverlayFileSystem::Entry::Kind::File) {
        return "it is not there";
    }
    // A file the plan copied is the machine's file it was copied from; one the plan wrote
    // itself cannot be judged and is taken to start.
    return e.bytes ? std::nullopt : real_.cannot_start(e.origin);
}

std::unique_ptr<Process> OverlayProcesses::start(TextView path, int /*show_command*/,
                                                 TextView working_folder) {
    std::optional<std::string> why = cannot_start(path);
    // A program is never started without the working folder it is given.
    if (!why && files_.look_up(working_folder).kind != OverlayFileSystem::Entry::Kind::Folder) {
        why = "its working folder " + to_utf8(working_folder) + " is not there";
    }
    if (why) {
        plan_.add(PlanEvent::Kind::NotStarted, Text(path)).after = from_utf8(*why);
        // What the machine's own start would raise.
        throw VbError::runtime(files_.look_up(path).kind == OverlayFileSystem::Entry::Kind::File
                                   ? vberr::kInvalidProcedureCall
                                   : vberr::kFileNotFound);
    }
    plan_.add(PlanEvent::Kind::Started, Text(path));
    const Text name = to_upper(Text(path).substr(Text(path).find_last_of(u"\\/") + 1));
    for (const auto& [program, folder] : assumed_) {
        if (program == name) {
            files_.ensure_folder(folder);
        }
    }
    return std::make_unique<FinishedProcess>();
}

void OverlayProcesses::assume_after(TextView program_name, TextView folder) {
    assumed_.emplace_back(to_upper(program_name), Text(folder));
}

void PlanUserInterface::message_box(TextView text, MessageIcon icon, TextView /*caption*/) {
    plan_.add(PlanEvent::Kind::Message, Text(text)).icon = icon;
}

Text PlanUserInterface::input_box(TextView prompt, TextView caption) {
    return real_.input_box(prompt, caption);
}

void PlanUserInterface::set_busy_pointer(bool busy) {
    real_.set_busy_pointer(busy);
}

void PlanUserInterface::show_warning_form(const WarningFormDesign& design) {
    plan_.add(PlanEvent::Kind::WarningShown, design.caption);
}

std::unique_ptr<OwnerWindow> PlanUserInterface::create_hidden_window() {
    return std::make_unique<PlanOwnerWindow>();
}

void PlanUserInterface::show_report(TextView text, TextView caption) {
    real_.show_report(text, caption);
}

std::variant<OdbcTarget, Error> OverlayOdbc::translate(TextView ado_connection_string) {
    std::optional<AdoConnectionString> parsed = parse_ado_connection_string(ado_connection_string);
    if (!parsed || provider_of(*parsed) != AdoProvider::SqlServer) {
        return real_.translate(ado_connection_string);
    }
    const std::optional<Text> server = parsed->find(u"Data Source");
    const std::optional<RegistryData> alias =
        server ? registry_.written(kConnectToKey, *server) : std::nullopt;
    if (!alias) {
        return real_.translate(ado_connection_string);
    }
    std::string data(alias->data.begin(), alias->data.end());
    while (!data.empty() && data.back() == '\0') {
        data.pop_back();
    }
    const Text value = from_cp949(data);
    Text address;
    const auto library_is = [&value](TextView library) {
        return value.size() > library.size() &&
               equals_ignore_case(TextView(value).substr(0, library.size()), library);
    };
    if (library_is(u"DBMSSOCN,")) {
        address = value.substr(9);
    } else if (library_is(u"DBNMPNTW,")) {
        address = u"np:" + value.substr(9);
    } else {
        return real_.translate(ado_connection_string);
    }
    // The same string with the alias's address as its data source.
    Text rebuilt;
    for (const AdoConnectionString::Pair& pair : parsed->pairs) {
        const bool data_source = equals_ignore_case(pair.key, u"Data Source");
        rebuilt +=
            pair.key + u"='" + replace_all(data_source ? address : pair.value, u"'", u"''") + u"';";
    }
    return real_.translate(rebuilt);
}

void PlanRunLog::write(std::string_view line) {
    real_.write("plan: " + std::string(line));
}

PlanPlatform::PlanPlatform(Platform& real)
    : log_(real.log), files_(real.files, record_, log_), registry_(real.registry, record_),
      profiles_(files_, record_, log_), shell_(files_, record_),
      processes_(files_, real.processes, record_), ui_(real.ui, record_),
      odbc_(real.odbc, registry_), platform_{.registry = registry_,
                                             .profiles = profiles_,
                                             .files = files_,
                                             .shell = shell_,
                                             .processes = processes_,
                                             .ui = ui_,
                                             .odbc = odbc_,
                                             .log = log_,
                                             .session = real.session} {}

} // namespace pelto::platform::overlay
