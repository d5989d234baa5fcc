#include "platform/windows_path.h"

#include <algorithm>

namespace pelto::platform {

namespace {

bool is_separator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool is_ascii_letter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Characters Windows refuses in a file name (wildcards included: a path that is looked
// up never holds them).
bool is_valid_name(TextView name) {
    return std::none_of(name.begin(), name.end(), [](char16_t c) {
        return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
               c == u'?' || c == u'*';
    });
}

std::vector<Text> split(TextView text) {
    std::vector<Text> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || is_separator(text[i])) {
            parts.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// "\\?\", "\\.\" and "\\?\UNC\" name the same files as the plain forms.
TextView without_device_prefix(TextView path, bool& unc) {
    unc = false;
    if (path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
        (path[2] == u'?' || path[2] == u'.') && is_separator(path[3])) {
        path.remove_prefix(4);
        if (path.size() >= 4 && equals_ignore_case(path.substr(0, 3), u"UNC") &&
            is_separator(path[3])) {
            path.remove_prefix(4);
            unc = true;
        }
    }
    return path;
}

// The volume at the start of `rest`, removed from it; nullopt when there is none.
std::optional<Text> take_volume(TextView& rest, bool unc) {
    if (unc || (rest.size() >= 2 && is_separator(rest[0]) && is_separator(rest[1]))) {
        if (!unc) {
            rest.remove_prefix(2);
        }
        const std::vector<Text> parts = split(rest);
        if (parts.size() < 2) {
            return std::nullopt;
        }
        for (size_t i = 0; i < 2; ++i) {
            if (parts[i].empty() || parts[i] == u"." || parts[i] == u".." ||
                !is_valid_name(parts[i])) {
                return std::nullopt;
            }
        }
        rest.remove_prefix(std::min(rest.size(), parts[0].size() + 1 + parts[1].size()));
        return u"\\\\" + parts[0] + u"\\" + parts[1];
    }
    if (rest.size() >= 2 && is_ascii_letter(rest[0]) && rest[1] == u':') {
        Text drive{static_cast<char16_t>(rest[0] & ~0x20), u':'};
        rest.remove_prefix(2); // "C:name" has no current folder here: it is "C:\name"
        return drive;
    }
    return std::nullopt;
}

} // namespace

Text WindowsPath::text() const {
    return prefix(names.size());
}

Text WindowsPath::prefix(size_t count) const {
    Text out = volume;
    if (count == 0) {
        return is_unc() ? out : out + u"\\";
    }
    for (size_t i = 0; i < count && i < names.size(); ++i) {
        out += u"\\" + names[i];
    }
    return out;
}

std::optional<WindowsPath> parse_windows_path(TextView path) {
    bool unc = false;
    TextView rest = without_device_prefix(path, unc);
    std::optional<Text> volume = take_volume(rest, unc);
    if (!volume) {
        return std::nullopt;
    }
    WindowsPath out{std::move(*volume), {}};
    for (Text part : split(rest)) {
        if (part.empty() || part == u".") {
            continue;
        }
        if (part == u"..") {
            if (!out.names.empty()) {
                out.names.pop_back(); // never above the volume, as on Windows
            }
            continue;
        }
        // Windows drops trailing dots and spaces of a name.
        while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) {
            part.pop_back();
        }
        if (part.empty()) {
            continue;
        }
        if (!is_valid_name(part)) {
            return std::nullopt;
        }
        out.names.push_back(std::move(part));
    }
    return out;
}

bool is_entry_name(TextView name) {
    return !name.empty() && name != u"." && name != u".." && is_valid_name(name) &&
           std::none_of(name.begin(), name.end(), is_separator);
}

std::optional<FolderAndName> split_folder_and_name(TextView path) {
    size_t cut = path.size();
    while (cut > 0 && !is_separator(path[cut - 1])) {
        --cut;
    }
    if (cut == 0) {
        if (path.size() >= 2 && path[1] == u':') {
            return FolderAndName{Text(path.substr(0, 2)) + u"\\", Text(path.substr(2))};
        }
        return std::nullopt; // relative: there is no current folder
    }
    return FolderAndName{Text(path.substr(0, cut - 1)), Text(path.substr(cut))};
}

} // namespace pelto::platform
