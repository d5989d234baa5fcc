#include "platform/ado_connection_string.h"

#include <algorithm>

namespace pelto::platform {

namespace {

constexpr TextView kBlanks = u" \t\r\n";

bool is_blank(char16_t c) {
    return kBlanks.find(c) != TextView::npos;
}

Text trim_blanks(TextView text) {
    return Text(trim_any(text, kBlanks));
}

// "NAME" or "NAME.<version>", ignoring case.
bool names_provider(TextView upper, TextView name) {
    return upper == name ||
           (upper.size() > name.size() && upper.starts_with(name) && upper[name.size()] == u'.');
}

} // namespace

std::optional<Text> AdoConnectionString::find(TextView key) const {
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
        if (equals_ignore_case(it->key, key)) {
            return it->value;
        }
    }
    return std::nullopt;
}

std::optional<Text> AdoConnectionString::find_any(std::initializer_list<TextView> keys) const {
    for (const TextView key : keys) {
        if (auto value = find(key)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<AdoConnectionString> parse_ado_connection_string(TextView text) {
    AdoConnectionString out;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && (is_blank(text[i]) || text[i] == u';')) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        const size_t eq = text.find_first_of(u"=;", i);
        if (eq == TextView::npos || text[eq] == u';') {
            return std::nullopt; // a pair without "="
        }
        Text key = trim_blanks(text.substr(i, eq - i));
        if (key.empty()) {
            return std::nullopt;
        }
        i = eq + 1;
        while (i < n && is_blank(text[i])) {
            ++i;
        }
        Text value;
        if (i < n && (text[i] == u'\'' || text[i] == u'"')) {
            const char16_t quote = text[i++];
            bool closed = false;
            while (i < n && !closed) {
                if (text[i] != quote) {
                    value.push_back(text[i++]);
                } else if (i + 1 < n && text[i + 1] == quote) {
                    value.push_back(quote);
                    i += 2;
                } else {
                    ++i;
                    closed = true;
                }
            }
            while (i < n && is_blank(text[i])) {
                ++i;
            }
            if (!closed || (i < n && text[i] != u';')) {
                return std::nullopt;
            }
        } else {
            const size_t end = std::min(text.find(u';', i), n);
            value = trim_blanks(text.substr(i, end - i));
            i = end;
        }
        out.pairs.push_back({std::move(key), std::move(value)});
    }
    return out;
}

Error malformed_ado_connection_string() {
    return Error{adoerr::kBadInitString, u"Microsoft OLE DB Service Components",
                 error_description(adoerr::kBadInitString)};
}

AdoProvider provider_of(const AdoConnectionString& parsed) {
    const Text upper = to_upper(trim_blanks(parsed.find(u"Provider").value_or(Text())));
    if (upper.empty() || names_provider(upper, u"MSDASQL")) {
        return AdoProvider::Odbc; // ADO's default provider: ODBC data sources
    }
    if (names_provider(upper, u"SQLOLEDB")) {
        return AdoProvider::SqlServer;
    }
    if (upper.starts_with(u"MICROSOFT.JET.OLEDB.")) {
        return AdoProvider::Jet;
    }
    if (upper == u"MICROSOFT OLE DB PROVIDER FOR ORACLE" || names_provider(upper, u"MSDAORA") ||
        names_provider(upper, u"ORAOLEDB.ORACLE")) {
        return AdoProvider::Oracle;
    }
    return AdoProvider::Unknown;
}

Text provider_error_source(AdoProvider provider) {
    switch (provider) {
    case AdoProvider::SqlServer:
        return u"Microsoft OLE DB Provider for SQL Server";
    case AdoProvider::Jet:
        return u"Microsoft JET Database Engine";
    case AdoProvider::Oracle:
        return u"Microsoft OLE DB Provider for Oracle";
    case AdoProvider::Odbc:
    case AdoProvider::Unknown:
        break;
    }
    return u"Microsoft OLE DB Provider for ODBC Drivers";
}

} // namespace pelto::platform
