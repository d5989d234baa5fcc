#include "core/text.h"

#include <cwctype>

namespace pelto {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf16(Text& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char16_t upper_unit(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - (u'a' - u'A'));
    }
    if (c < 0x80) {
        return c;
    }
    // Beyond ASCII: Latin-1, Greek, Cyrillic and full-width letters upper-case as
    // Windows does; Hangul has no case.
    return static_cast<char16_t>(std::towupper(static_cast<wint_t>(c)));
}

} // namespace

Text from_utf8(std::string_view utf8) {
    Text out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        char32_t cp = 0;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1;
            cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2;
            cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3;
            cp = b0 & 0x07;
        } else {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        if (i + static_cast<size_t>(extra) >= utf8.size()) {
            out.push_back(static_cast<char16_t>(kReplacement));
            break;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        const bool overlong =
            (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
        if (!ok || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        append_utf16(out, cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string to_utf8(TextView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        append_utf8(out, cp);
    }
    return out;
}

Text trim(TextView text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] == u' ') {
        ++first;
    }
    while (last > first && text[last - 1] == u' ') {
        --last;
    }
    return Text(text.substr(first, last - first));
}

Text to_upper(TextView text) {
    Text out(text);
    for (auto& c : out) {
        c = upper_unit(c);
    }
    return out;
}

bool ends_with(TextView text, TextView suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool contains(TextView text, TextView part) {
    return text.find(part) != TextView::npos;
}

bool equals_ignore_case(TextView a, TextView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (upper_unit(a[i]) != upper_unit(b[i])) {
            return false;
        }
    }
    return true;
}

Text replace_all(TextView text, TextView from, TextView to) {
    Text out;
    if (from.empty()) {
        return Text(text);
    }
    size_t pos = 0;
    while (true) {
        const size_t hit = text.find(from, pos);
        if (hit == TextView::npos) {
            out.append(text.substr(pos));
            return out;
        }
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
}

namespace {

template <typename View> View trim_view(View text, View blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == View::npos) {
        return text.substr(text.size());
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

std::string_view trim_any(std::string_view text, std::string_view blanks) {
    return trim_view(text, blanks);
}

TextView trim_any(TextView text, TextView blanks) {
    return trim_view(text, blanks);
}

std::vector<TextLine> split_lines(std::string_view bytes) {
    std::vector<TextLine> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back({bytes.substr(pos), {}, pos});
            break;
        }
        const size_t end = nl > pos && bytes[nl - 1] == '\r' ? nl - 1 : nl;
        lines.push_back({bytes.substr(pos, end - pos), bytes.substr(end, nl + 1 - end), pos});
        pos = nl + 1;
    }
    return lines;
}

} // namespace pelto
