#include "platform/win32/ado_connection_string.h"

namespace pelto::platform::win32 {

namespace {

bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

Text trim_blanks(TextView text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && is_blank(text[first])) {
        ++first;
    }
    while (last > first && is_blank(text[last - 1])) {
        --last;
    }
    return Text(text.substr(first, last - first));
}

} // namespace

AdoConnectionString AdoConnectionString::parse(TextView text) {
    AdoConnectionString result;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && (is_blank(text[i]) || text[i] == u';')) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        const size_t name_end = text.find_first_of(u"=;", i);
        if (name_end == TextView::npos || text[name_end] == u';') {
            // A name without "=": nothing to keep.
            i = name_end == TextView::npos ? n : name_end + 1;
            continue;
        }
        Text name = trim_blanks(text.substr(i, name_end - i));
        i = name_end + 1;
        while (i < n && is_blank(text[i])) {
            ++i;
        }
        Text value;
        if (i < n && (text[i] == u'\'' || text[i] == u'"')) {
            const char16_t quote = text[i++];
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value.push_back(quote);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value.push_back(text[i++]);
            }
            // Whatever follows the closing quote up to the separator is not part of it.
            const size_t next = text.find(u';', i);
            i = next == TextView::npos ? n : next + 1;
        } else {
            const size_t next = text.find(u';', i);
            const size_t end = next == TextView::npos ? n : next;
            value = trim_blanks(text.substr(i, end - i));
            i = next == TextView::npos ? n : next + 1;
        }
        if (!name.empty()) {
            result.pairs_.emplace_back(std::move(name), std::move(value));
        }
    }
    return result;
}

std::optional<Text> AdoConnectionString::get(std::initializer_list<TextView> names) const {
    for (const TextView name : names) {
        for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
            if (equals_ignore_case(it->first, name)) {
                return it->second;
            }
        }
    }
    return std::nullopt;
}

Text odbc_value(TextView value) {
    const bool plain = value.find_first_of(u";{}=") == TextView::npos &&
                       (value.empty() || (!is_blank(value.front()) && !is_blank(value.back())));
    if (plain) {
        return Text(value);
    }
    Text out = u"{";
    for (const char16_t c : value) {
        out.push_back(c);
        if (c == u'}') {
            out.push_back(u'}');
        }
    }
    out.push_back(u'}');
    return out;
}

} // namespace pelto::platform::win32
