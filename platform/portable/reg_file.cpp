// The .reg document of the registry store: read, queried, edited and written back.
#include "platform/portable/reg_file.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cstdio>

namespace pelto::platform::portable::reg {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

std::string_view trim_spaces(std::string_view s) {
    return trim_any(s, " \t");
}

bool valid_utf8(std::string_view s) {
    return to_utf8(from_utf8(s)) == s;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<uint32_t> parse_hex_number(std::string_view s) {
    if (s.empty() || s.size() > 8) {
        return std::nullopt;
    }
    uint32_t v = 0;
    for (const char c : s) {
        const int d = hex_digit(c);
        if (d < 0) {
            return std::nullopt;
        }
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

// A quoted string starting at s[pos]; regedit escapes only the backslash and the quote.
std::optional<std::string> read_quoted(std::string_view s, size_t& pos) {
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out.push_back(s[++pos]);
        } else if (c == '"') {
            ++pos;
            return out;
        } else {
            out.push_back(c);
        }
    }
    return std::nullopt;
}

std::string escape(std::string_view utf8) {
    std::string out;
    for (const char c : utf8) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out;
}

// "01,02,\" + "  03" -> bytes; nullopt for anything that is not two-digit hex.
std::optional<std::vector<uint8_t>> parse_hex_bytes(std::string_view joined) {
    std::vector<uint8_t> out;
    std::string compact;
    for (const char c : joined) {
        if (c != ' ' && c != '\t') {
            compact.push_back(c);
        }
    }
    if (compact.empty()) {
        return out;
    }
    size_t pos = 0;
    while (pos <= compact.size()) {
        const size_t comma = std::min(compact.find(',', pos), compact.size());
        const std::string_view token = std::string_view(compact).substr(pos, comma - pos);
        if (token.empty() && comma == compact.size()) {
            break; // a trailing comma
        }
        if (token.empty() || token.size() > 2 || hex_digit(token[0]) < 0 ||
            (token.size() == 2 && hex_digit(token[1]) < 0)) {
            return std::nullopt;
        }
        out.push_back(static_cast<uint8_t>(token.size() == 2
                                               ? hex_digit(token[0]) * 16 + hex_digit(token[1])
                                               : hex_digit(token[0])));
        pos = comma + 1;
    }
    return out;
}

// The hex bytes of a value that starts with `hex` on lines[i] and goes on, line by line,
// while a line ends in a backslash; `i` is left on its last line, whose raw text is added
// to `raw`. nullopt when the file ends while it goes on.
std::optional<std::string> join_continued(const std::vector<TextLine>& lines, size_t& i,
                                          std::string_view hex, std::string& raw) {
    std::string joined;
    for (;;) {
        std::string_view part = trim_spaces(hex);
        const bool continued = !part.empty() && part.back() == '\\';
        if (continued) {
            part.remove_suffix(1);
        }
        joined += part;
        if (!continued) {
            return joined;
        }
        if (++i >= lines.size()) {
            return std::nullopt;
        }
        hex = lines[i].content;
        raw += std::string(lines[i].content) + std::string(lines[i].end);
    }
}

// Parses the value that starts at lines[i] (and may continue on the next lines).
std::variant<Record, std::string> parse_value(const std::vector<TextLine>& lines, size_t& i) {
    Record r;
    r.kind = Record::Kind::Value;
    const std::string_view content = lines[i].content;
    r.raw = std::string(content) + std::string(lines[i].end);
    size_t pos = content.find_first_not_of(" \t");
    if (content[pos] == '@') {
        ++pos;
    } else {
        const std::optional<std::string> name = read_quoted(content, pos);
        if (!name) {
            return std::string("an unterminated value name");
        }
        r.name = from_utf8(*name);
    }
    while (pos < content.size() && (content[pos] == ' ' || content[pos] == '\t')) {
        ++pos;
    }
    if (pos >= content.size() || content[pos] != '=') {
        return std::string("a value without '='");
    }
    ++pos;
    while (pos < content.size() && (content[pos] == ' ' || content[pos] == '\t')) {
        ++pos;
    }
    const std::string_view data = content.substr(pos);
    if (!data.empty() && data[0] == '"') {
        size_t q = pos;
        const std::optional<std::string> text = read_quoted(content, q);
        if (!text || !trim_spaces(content.substr(q)).empty()) {
            return std::string("a malformed text value");
        }
        r.type = kRegSz;
        r.text = from_utf8(*text);
        return r;
    }
    if (data.rfind("dword:", 0) == 0) {
        const std::optional<uint32_t> v = parse_hex_number(trim_spaces(data.substr(6)));
        if (!v) {
            return std::string("a malformed dword value");
        }
        r.type = kRegDword;
        r.data = {static_cast<uint8_t>(*v), static_cast<uint8_t>(*v >> 8),
                  static_cast<uint8_t>(*v >> 16), static_cast<uint8_t>(*v >> 24)};
        return r;
    }
    std::string_view hex;
    if (data.rfind("hex:", 0) == 0) {
        r.type = kRegBinary;
        hex = data.substr(4);
    } else if (data.rfind("hex(", 0) == 0) {
        const size_t close = data.find("):");
        const std::optional<uint32_t> type = close == std::string_view::npos
                                                 ? std::nullopt
                                                 : parse_hex_number(data.substr(4, close - 4));
        if (!type) {
            return std::string("a malformed hex(N) type");
        }
        r.type = *type;
        hex = data.substr(close + 2);
    } else if (trim_spaces(data) == "-") {
        return std::string("a value deletion, which a store does not hold");
    } else {
        return std::string("a value of unknown form");
    }
    std::optional<std::string> joined = join_continued(lines, i, hex, r.raw);
    if (!joined) {
        return std::string("a continued value at the end of the file");
    }
    std::optional<std::vector<uint8_t>> bytes = parse_hex_bytes(*joined);
    if (!bytes) {
        return std::string("malformed hex bytes");
    }
    r.data = std::move(*bytes);
    return r;
}

// Text data that the quoted form holds exactly: code page 949 bytes that convert both
// ways unchanged, one terminating NUL, no line break.
std::optional<Text> quoted_form(std::span<const uint8_t> data) {
    if (data.empty() || data.back() != 0) {
        return std::nullopt;
    }
    const std::string bytes(data.begin(), data.end() - 1);
    if (bytes.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    Text text = from_cp949(bytes);
    if (to_cp949(text) != bytes || text.find_first_of(u"\r\n") != Text::npos) {
        return std::nullopt;
    }
    return text;
}

bool names_key(const Record& r, TextView path) {
    return r.kind == Record::Kind::Key && equals_ignore_case(r.key, path);
}

} // namespace

Record make_record(Record::Kind kind, std::string raw) {
    Record r;
    r.kind = kind;
    r.raw = std::move(raw);
    return r;
}

std::variant<Document, ParseError> parse(std::string_view bytes) {
    Document doc;
    if (bytes.empty()) {
        return doc; // a new, empty store
    }
    if (!valid_utf8(bytes)) {
        return ParseError{0, "the file is not UTF-8 text"};
    }
    const std::vector<TextLine> lines = split_lines(bytes);
    std::string_view first = lines[0].content;
    if (first.rfind(kBom, 0) == 0) {
        first.remove_prefix(kBom.size());
    }
    if (trim_spaces(first) != kHeader) {
        return ParseError{1, "the first line is not \"Windows Registry Editor Version 5.00\""};
    }
    if (!lines[0].end.empty()) {
        doc.eol = std::string(lines[0].end);
    }
    doc.records.push_back(make_record(Record::Kind::Header,
                                      std::string(lines[0].content) + std::string(lines[0].end)));
    bool in_key = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view content = trim_spaces(lines[i].content);
        const std::string raw = std::string(lines[i].content) + std::string(lines[i].end);
        if (content.empty() || content[0] == ';') {
            doc.records.push_back(make_record(Record::Kind::Other, raw));
            continue;
        }
        if (content[0] == '[') {
            if (content.back() != ']') {
                return ParseError{i + 1, "a key line without ']'"};
            }
            const std::string_view inner = content.substr(1, content.size() - 2);
            if (!inner.empty() && inner[0] == '-') {
                return ParseError{i + 1, "a key deletion, which a store does not hold"};
            }
            const Text path = from_utf8(inner);
            Record r = make_record(Record::Kind::Key, raw);
            if (equals_ignore_case(path, from_utf8(kRootName))) {
                r.key.clear();
            } else if (path.size() > kRootName.size() + 1 && path[kRootName.size()] == u'\\' &&
                       equals_ignore_case(TextView(path).substr(0, kRootName.size()),
                                          from_utf8(kRootName))) {
                r.key = path.substr(kRootName.size() + 1);
            } else {
                return ParseError{i + 1, "a key outside HKEY_LOCAL_MACHINE"};
            }
            doc.records.push_back(std::move(r));
            in_key = true;
            continue;
        }
        if (content[0] == '"' || content[0] == '@') {
            if (!in_key) {
                return ParseError{i + 1, "a value before the first key"};
            }
            const size_t first_line = i;
            auto value = parse_value(lines, i);
            if (auto* reason = std::get_if<std::string>(&value)) {
                return ParseError{first_line + 1, *reason};
            }
            doc.records.push_back(std::move(std::get<Record>(value)));
            continue;
        }
        return ParseError{i + 1, "a line that is neither a key, a value nor a comment"};
    }
    return doc;
}

std::string serialise(const Document& doc) {
    std::string out;
    for (const Record& r : doc.records) {
        out += r.raw;
    }
    return out;
}

std::string_view line_end_of(const std::string& raw) {
    if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0) {
        return "\r\n";
    }
    if (!raw.empty() && raw.back() == '\n') {
        return "\n";
    }
    return {};
}

std::string format_value(TextView name, uint32_t type, std::span<const uint8_t> data,
                         std::string_view eol) {
    std::string line;
    if (name.empty()) {
        line = "@";
    } else {
        line.push_back('"');
        line += escape(to_utf8(name));
        line.push_back('"');
    }
    line += '=';
    if (type == kRegSz) {
        if (const std::optional<Text> text = quoted_form(data)) {
            return line + "\"" + escape(to_utf8(*text)) + "\"" + std::string(eol);
        }
    }
    char buffer[32];
    if (type == kRegDword && data.size() == 4) {
        const uint32_t v =
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
        return line + buffer + std::string(eol);
    }
    if (type == kRegBinary) {
        line += "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
        line += buffer;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", data[i]);
        line += buffer;
    }
    return line + std::string(eol);
}

RegValue value_of(const Record& r) {
    if (r.text) {
        std::string bytes = to_cp949(*r.text);
        RegValue v{r.type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
        v.data.push_back(0);
        return v;
    }
    return RegValue{r.type, r.data};
}

// A key exists when the store names it or one of its subkeys.
bool key_in(const Document& doc, TextView path) {
    if (path.empty()) {
        return true; // HKEY_LOCAL_MACHINE itself
    }
    return std::any_of(doc.records.begin(), doc.records.end(), [&](const Record& r) {
        if (r.kind != Record::Kind::Key) {
            return false;
        }
        if (r.key.size() == path.size()) {
            return equals_ignore_case(r.key, path);
        }
        return r.key.size() > path.size() && r.key[path.size()] == u'\\' &&
               equals_ignore_case(TextView(r.key).substr(0, path.size()), path);
    });
}

// The index of the key's record and one past its last record.
std::optional<std::pair<size_t, size_t>> key_range(const Document& doc, TextView path) {
    for (size_t i = 0; i < doc.records.size(); ++i) {
        if (names_key(doc.records[i], path)) {
            size_t end = i + 1;
            while (end < doc.records.size() && doc.records[end].kind != Record::Kind::Key) {
                ++end;
            }
            return std::make_pair(i, end);
        }
    }
    return std::nullopt;
}

const Record* find_value(const Document& doc, TextView key, TextView name) {
    const auto range = key_range(doc, key);
    if (!range) {
        return nullptr;
    }
    for (size_t i = range->first + 1; i < range->second; ++i) {
        const Record& r = doc.records[i];
        if (r.kind == Record::Kind::Value && equals_ignore_case(r.name, name)) {
            return &r;
        }
    }
    return nullptr;
}

// Appends "[HKEY_LOCAL_MACHINE\path]" at the end, after a blank line; returns its index.
size_t append_key(Document& doc, TextView path) {
    if (doc.records.empty()) {
        doc.records.push_back(make_record(Record::Kind::Header, std::string(kHeader) + doc.eol));
    }
    Record& last = doc.records.back();
    if (line_end_of(last.raw).empty()) {
        last.raw += doc.eol;
    }
    const bool blank_before =
        last.kind == Record::Kind::Other &&
        trim_spaces(last.raw).find_first_not_of("\r\n") == std::string_view::npos;
    if (!blank_before) {
        doc.records.push_back(make_record(Record::Kind::Other, doc.eol));
    }
    Record key = make_record(Record::Kind::Key);
    key.key = Text(path);
    key.raw = std::string(1, '[').append(kRootName);
    if (!path.empty()) {
        key.raw += '\\';
        key.raw += to_utf8(path);
    }
    key.raw += ']';
    key.raw += doc.eol;
    doc.records.push_back(std::move(key));
    return doc.records.size() - 1;
}

bool valid_key_path(TextView path) {
    if (path.find_first_of(u"[]\r\n") != TextView::npos) {
        return false;
    }
    return path.empty() ||
           (path.front() != u'\\' && path.back() != u'\\' && path.find(u"\\\\") == TextView::npos);
}

} // namespace pelto::platform::portable::reg
