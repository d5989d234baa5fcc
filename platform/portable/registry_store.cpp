#include "platform/portable/registry_store.h"

#include "platform/codepage.h"
#include "platform/portable/host_failure.h"
#include "platform/portable/host_files.h"
#include "platform/portable/reg_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <variant>

namespace pelto::platform::portable {

namespace fs = std::filesystem;

namespace {

constexpr TextView kConnectToKey = u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";

using reg::Document;
using reg::Record;

// A loaded store, or the status that stops the operation.
struct Loaded {
    Document doc;
    std::string bytes;
    bool exists = false;
    struct stat st {};
};

std::variant<Loaded, long> load_store(const fs::path& file, RunLog* log) {
    Loaded out;
    HostRefusal refusal;
    std::optional<std::string> bytes = read_whole_file(file, refusal);
    if (!bytes) {
        if (refusal.error_number == ENOENT) {
            return out;
        }
        if (log != nullptr) {
            log->write("registry: cannot read the store " + file.native() + ": " + refusal.call +
                       ": " + errno_text(refusal.error_number) + " (errno " +
                       std::to_string(refusal.error_number) + ")");
        }
        return refusal.error_number == EACCES ? kRegAccessDenied : kRegIoFailed;
    }
    auto parsed = reg::parse(*bytes);
    if (const auto* error = std::get_if<reg::ParseError>(&parsed)) {
        if (log != nullptr) {
            log->write("registry: the store " + file.native() + " cannot be parsed (line " +
                       std::to_string(error->line) + ": " + error->reason +
                       "); it is left unchanged");
        }
        return kRegBadDatabase;
    }
    out.doc = std::move(std::get<Document>(parsed));
    out.bytes = std::move(*bytes);
    out.exists = ::stat(file.c_str(), &out.st) == 0;
    return out;
}

long save_store(const fs::path& file, const Loaded& loaded, RunLog& log) {
    const std::string bytes = reg::serialise(loaded.doc);
    if (loaded.exists && bytes == loaded.bytes) {
        return kRegSuccess;
    }
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    HostRefusal refusal;
    if (!replace_file_atomically(file, bytes, loaded.exists ? &loaded.st : nullptr, refusal)) {
        log.write("registry: cannot write the store " + file.native() + ": " + refusal.call + ": " +
                  errno_text(refusal.error_number) + " (errno " +
                  std::to_string(refusal.error_number) + ")");
        return kRegIoFailed;
    }
    return kRegSuccess;
}

class StoreKey final : public RegistryKey {
public:
    StoreKey(PortableRegistry& registry, Text path, uint32_t access)
        : registry_(registry), path_(std::move(path)), access_(access) {}

    long set_value(TextView value_name, uint32_t type, std::span<const uint8_t> data) override {
        if ((access_ & kKeySetValue) == 0) {
            return kRegAccessDenied;
        }
        return registry_.set_value(path_, value_name, type, data);
    }

    std::optional<RegistryData> query_value(TextView value_name) override {
        if ((access_ & kKeyQueryValue) == 0) {
            return std::nullopt;
        }
        std::optional<RegValue> value = registry_.read_value(path_, value_name);
        if (!value) {
            return std::nullopt;
        }
        return RegistryData{value->type, std::move(value->data)};
    }

private:
    PortableRegistry& registry_;
    Text path_;
    uint32_t access_;
};

// Whether the process may replace the store; when not, the refusing check goes to the
// run log under the key's name.
bool may_write(const fs::path& file, TextView key_path, RunLog& log) {
    const Text key = u"HKLM\\" + Text(key_path);
    // The rename needs the folder; the file's own bits stand for the key's security.
    const fs::path folder = file.parent_path();
    if (::access(folder.c_str(), W_OK) != 0) {
        log_errno_failure(log, "access", key, folder);
        return false;
    }
    if (::access(file.c_str(), W_OK) != 0 && errno != ENOENT) {
        log_errno_failure(log, "access", key, file);
        return false;
    }
    return true;
}

} // namespace

PortableRegistry::PortableRegistry(fs::path store_file, RunLog& log)
    : store_file_(std::move(store_file)), log_(log) {}

long PortableRegistry::open_local_machine_key(TextView path, uint32_t access,
                                              std::unique_ptr<RegistryKey>& key) {
    key.reset();
    auto loaded = load_store(store_file_, &log_);
    if (const long* status = std::get_if<long>(&loaded)) {
        return *status;
    }
    if (!reg::key_in(std::get<Loaded>(loaded).doc, path)) {
        return kRegFileNotFound;
    }
    if ((access & kKeySetValue) != 0 && !may_write(store_file_, path, log_)) {
        return kRegAccessDenied;
    }
    key = std::make_unique<StoreKey>(*this, Text(path), access);
    return kRegSuccess;
}

long PortableRegistry::set_value(TextView key_path, TextView value_name, uint32_t type,
                                 std::span<const uint8_t> data) {
    // The "A" function hands the registry the name in code page 949.
    const Text name = from_cp949(to_cp949(value_name));
    if (name.find_first_of(u"\r\n") != Text::npos) {
        return kRegInvalidParameter;
    }
    auto result = load_store(store_file_, &log_);
    if (const long* status = std::get_if<long>(&result)) {
        return *status;
    }
    Loaded& loaded = std::get<Loaded>(result);
    Document& doc = loaded.doc;
    std::optional<std::pair<size_t, size_t>> range = reg::key_range(doc, key_path);
    if (!range) {
        if (!reg::key_in(doc, key_path)) {
            log_.write("registry: the open key HKLM\\" + to_utf8(key_path) + " has gone");
            return kRegKeyDeleted;
        }
        const size_t at = reg::append_key(doc, key_path); // named so far only by a subkey
        range = std::make_pair(at, at + 1);
    }
    size_t insert_at = range->first + 1;
    for (size_t i = range->first + 1; i < range->second; ++i) {
        Record& r = doc.records[i];
        if (r.kind != Record::Kind::Value) {
            continue;
        }
        if (equals_ignore_case(r.name, name)) {
            // Overwritten in place; the stored name keeps its spelling.
            r.raw = reg::format_value(r.name, type, data, reg::line_end_of(r.raw));
            return save_store(store_file_, loaded, log_);
        }
        insert_at = i + 1;
    }
    Record& before = doc.records[insert_at - 1];
    if (reg::line_end_of(before.raw).empty()) {
        before.raw += doc.eol;
    }
    Record added = reg::make_record(Record::Kind::Value);
    added.name = name;
    added.raw = reg::format_value(name, type, data, reg::line_end_of(before.raw));
    doc.records.insert(doc.records.begin() + static_cast<std::ptrdiff_t>(insert_at),
                       std::move(added));
    return save_store(store_file_, loaded, log_);
}

bool PortableRegistry::key_exists(TextView key_path) const {
    auto loaded = load_store(store_file_, nullptr);
    return std::holds_alternative<Loaded>(loaded) &&
           reg::key_in(std::get<Loaded>(loaded).doc, key_path);
}

std::optional<RegValue> PortableRegistry::read_value(TextView key_path, TextView value_name) const {
    auto loaded = load_store(store_file_, nullptr);
    if (!std::holds_alternative<Loaded>(loaded)) {
        return std::nullopt;
    }
    const Record* r = reg::find_value(std::get<Loaded>(loaded).doc, key_path, value_name);
    if (r == nullptr) {
        return std::nullopt;
    }
    return reg::value_of(*r);
}

std::optional<Text> PortableRegistry::read_string(TextView key_path, TextView value_name) const {
    auto loaded = load_store(store_file_, nullptr);
    if (!std::holds_alternative<Loaded>(loaded)) {
        return std::nullopt;
    }
    const Record* r = reg::find_value(std::get<Loaded>(loaded).doc, key_path, value_name);
    if (r == nullptr || (r->type != kRegSz && r->type != kRegExpandSz)) {
        return std::nullopt;
    }
    if (r->text) {
        return r->text;
    }
    std::string bytes(r->data.begin(), r->data.end());
    if (!bytes.empty() && bytes.back() == '\0') {
        bytes.pop_back();
    }
    return from_cp949(bytes);
}

std::optional<uint32_t> PortableRegistry::read_dword(TextView key_path, TextView value_name) const {
    const std::optional<RegValue> v = read_value(key_path, value_name);
    if (!v || v->type != kRegDword || v->data.size() != 4) {
        return std::nullopt;
    }
    return v->data[0] | v->data[1] << 8 | v->data[2] << 16 |
           static_cast<uint32_t>(v->data[3]) << 24;
}

std::vector<std::pair<Text, RegValue>> PortableRegistry::values(TextView key_path) const {
    std::vector<std::pair<Text, RegValue>> out;
    auto loaded = load_store(store_file_, nullptr);
    if (!std::holds_alternative<Loaded>(loaded)) {
        return out;
    }
    const Document& doc = std::get<Loaded>(loaded).doc;
    if (const auto range = reg::key_range(doc, key_path)) {
        for (size_t i = range->first + 1; i < range->second; ++i) {
            if (doc.records[i].kind == Record::Kind::Value) {
                out.emplace_back(doc.records[i].name, reg::value_of(doc.records[i]));
            }
        }
    }
    return out;
}

ConnectToLookup PortableRegistry::connect_to_lookup() const {
    return [this](TextView alias) { return read_string(kConnectToKey, alias); };
}

long PortableRegistry::create_key(TextView key_path) {
    if (!reg::valid_key_path(key_path)) {
        return kRegInvalidParameter;
    }
    auto result = load_store(store_file_, &log_);
    if (const long* status = std::get_if<long>(&result)) {
        return *status;
    }
    Loaded& loaded = std::get<Loaded>(result);
    if (reg::key_range(loaded.doc, key_path)) {
        return kRegSuccess;
    }
    reg::append_key(loaded.doc, key_path);
    return save_store(store_file_, loaded, log_);
}

} // namespace pelto::platform::portable
