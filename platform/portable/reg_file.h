// The .reg document of the registry store ("Windows Registry Editor Version 5.00", UTF-8):
// read line by line into records that keep their exact bytes, queried and edited by key
// and value, and written back so that a rewrite changes only the lines of the value
// written.
#pragma once

#include "core/text.h"
#include "platform/portable/registry_store.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace pelto::platform::portable::reg {

// One unit of the file: a line, or a value with its continuation lines. `raw` keeps the
// exact bytes, so that a rewrite changes nothing but the value written.
struct Record {
    enum class Kind { Header, Other, Key, Value };
    Kind kind = Kind::Other;
    std::string raw;
    Text key;                 // Key: the path below HKEY_LOCAL_MACHINE ("" for the root)
    Text name;                // Value: "" for the default value "@"
    uint32_t type = 0;        // Value
    std::optional<Text> text; // Value in the quoted form
    std::vector<uint8_t> data;
};

struct Document {
    std::vector<Record> records;
    std::string eol = "\r\n"; // the file's own line end, for lines added to it
};

struct ParseError {
    size_t line = 0;
    std::string reason;
};

Record make_record(Record::Kind kind, std::string raw = {});

// The document of a store file; an empty file is an empty store. A file that is not
// UTF-8, lacks the header line or holds a line that is neither a key, a value nor a
// comment is refused with the line's number.
std::variant<Document, ParseError> parse(std::string_view bytes);
std::string serialise(const Document& doc);

// "\r\n", "\n" or nothing: the line end a record's bytes close with.
std::string_view line_end_of(const std::string& raw);
// One value line in regedit's form: quoted text where the data is code page 949 text that
// converts both ways unchanged, dword:, else hex(N): with the exact bytes.
std::string format_value(TextView name, uint32_t type, std::span<const uint8_t> data,
                         std::string_view eol);
// The data as RegQueryValueExA returns it.
RegValue value_of(const Record& r);

// A key exists when the document names it or one of its subkeys.
bool key_in(const Document& doc, TextView path);
// The index of the key's record and one past its last record.
std::optional<std::pair<size_t, size_t>> key_range(const Document& doc, TextView path);
const Record* find_value(const Document& doc, TextView key, TextView name);
// Appends "[HKEY_LOCAL_MACHINE\path]" at the end, after a blank line; returns its index.
size_t append_key(Document& doc, TextView path);
bool valid_key_path(TextView path);

} // namespace pelto::platform::portable::reg
