#include "platform/profile_rules.h"

#include "platform/codepage.h"

#include <optional>
#include <vector>

namespace pelto::platform {

namespace {

// Where a line's content ends, and where the line (with its line end) ends.
size_t content_end(const TextLine& line) {
    return line.offset + line.content.size();
}
size_t line_end(const TextLine& line) {
    return content_end(line) + line.end.size();
}

std::string_view trim(std::string_view s) {
    return trim_any(s, " \t\r");
}

// Names in code page 949, compared as Windows compares them. (No trail byte of a
// double-byte character is '[', ']' or '=', so byte searches for them are safe.)
bool same_name(std::string_view a, std::string_view b) {
    return equals_ignore_case(from_cp949(trim(a)), from_cp949(trim(b)));
}

std::optional<std::string_view> section_name(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.empty() || t[0] != '[') {
        return std::nullopt;
    }
    const size_t close = t.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return t.substr(1, close - 1);
}

} // namespace

std::string write_profile_entry(std::string_view file, std::string_view section,
                                std::string_view key, std::string_view value) {
    const std::vector<TextLine> lines = split_lines(file);
    std::string eol = "\r\n";
    if (!lines.empty() && !lines[0].end.empty()) {
        eol = std::string(lines[0].end);
    }
    const auto content = [](const TextLine& l) { return l.content; };
    const std::string entry = std::string(key) + "=" + std::string(value);

    std::optional<size_t> start;
    size_t end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::optional<std::string_view> name = section_name(content(lines[i]));
        if (!name) {
            continue;
        }
        if (start) {
            end = i;
            break;
        }
        if (same_name(*name, section)) {
            start = i;
        }
    }

    if (!start) {
        std::string out(file);
        if (!out.empty()) {
            if (out.back() != '\n') {
                out += eol;
            }
            if (!trim(content(lines.back())).empty()) {
                out += eol; // a blank line before the new section
            }
        }
        return out + "[" + std::string(section) + "]" + eol + entry + eol;
    }

    size_t last_filled = *start;
    for (size_t i = *start + 1; i < end; ++i) {
        const std::string_view t = trim(content(lines[i]));
        if (t.empty()) {
            continue;
        }
        last_filled = i;
        const size_t eq = t.find('=');
        if (t[0] != ';' && eq != std::string_view::npos && same_name(t.substr(0, eq), key)) {
            // Replaced in place; the line keeps its own line end (or its lack of one).
            return std::string(file.substr(0, lines[i].offset)) + entry +
                   std::string(file.substr(content_end(lines[i])));
        }
    }
    const TextLine& after = lines[last_filled];
    std::string out(file.substr(0, line_end(after)));
    std::string ending(after.end);
    if (ending.empty()) {
        ending = eol;
        out += ending; // the last line of the file gets its line end
    }
    out += entry + ending;
    out += file.substr(line_end(after));
    return out;
}

std::optional<Text> read_profile_value(std::string_view file, TextView section, TextView key) {
    if (is_utf16_profile(file)) {
        return std::nullopt;
    }
    const std::string section_bytes = to_cp949(section);
    const std::string key_bytes = to_cp949(key);
    bool inside = false;
    for (const TextLine& line : split_lines(file)) {
        const std::string_view text = line.content;
        if (const std::optional<std::string_view> name = section_name(text)) {
            inside = same_name(*name, section_bytes);
            continue;
        }
        const std::string_view t = trim(text);
        const size_t eq = t.find('=');
        if (inside && !t.empty() && t[0] != ';' && eq != std::string_view::npos &&
            same_name(t.substr(0, eq), key_bytes)) {
            return from_cp949(trim(t.substr(eq + 1)));
        }
    }
    return std::nullopt;
}

bool breaks_profile_lines(TextView text) {
    return text.find_first_of(u"\r\n", 0) != TextView::npos || text.find(u'\0') != TextView::npos;
}

bool is_utf16_profile(std::string_view file) {
    return file.starts_with("\xFF\xFE") || file.starts_with("\xFE\xFF");
}

std::string profile_write_subject(TextView section, std::span<const ProfileEntry> entries,
                                  TextView file) {
    std::string keys;
    for (const ProfileEntry& entry : entries) {
        keys += (keys.empty() ? "" : ", ") + to_utf8(entry.key);
    }
    return "[" + to_utf8(section) + "] " + keys + " in " + to_utf8(file);
}

std::string profile_not_written(TextView section, std::span<const ProfileEntry> entries,
                                TextView file, std::string_view why) {
    return "profile: " + profile_write_subject(section, entries, file) +
           " not written: " + std::string(why);
}

ProfileEdit edit_profile(const std::optional<std::string>& file, TextView section,
                         std::span<const ProfileEntry> entries) {
    if (breaks_profile_lines(section)) {
        return {"a line break in the section would change other entries", {}};
    }
    for (const ProfileEntry& entry : entries) {
        if (breaks_profile_lines(entry.key) || breaks_profile_lines(entry.value)) {
            return {"a line break in a key or value would change other entries", {}};
        }
    }
    // A Unicode profile file would be corrupted by code page 949 text.
    if (file && is_utf16_profile(*file)) {
        return {"a UTF-16 file, which is left as it is", {}};
    }
    const std::string section_bytes = to_cp949(section);
    std::string updated = file.value_or(std::string());
    for (const ProfileEntry& entry : entries) {
        updated =
            write_profile_entry(updated, section_bytes, to_cp949(entry.key), to_cp949(entry.value));
    }
    if (file && updated == *file) {
        return {};
    }
    return {{}, std::move(updated)};
}

} // namespace pelto::platform
