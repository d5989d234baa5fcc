// ADO/OLE DB connection strings: "key='value'; key2=value2; ..." with the padded key
// names the manager builds ("Provider       ='SQLOLEDB'"). Header-only so that the
// platform's provider layer reads the strings with the same rules as the connection.
#pragma once

#include "core/text.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace pelto::ado {

struct ConnectionStringPair {
    Text key;   // trimmed of surrounding blanks, spelling kept
    Text value; // quotes removed, doubled quotes undone
};

struct ParsedConnectionString {
    std::vector<ConnectionStringPair> pairs;

    // The value of the first pair whose key matches, ignoring case and the blanks that
    // pad a key ("Data Source    " matches "data source").
    std::optional<Text> find(TextView key) const {
        for (const auto& pair : pairs) {
            if (equals_ignore_case(pair.key, key)) {
                return pair.value;
            }
        }
        return std::nullopt;
    }
};

namespace detail {
inline bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
} // namespace detail

// nullopt when the text does not follow the grammar: a pair without "=", a quoted
// value that is not closed, or text after a closing quote (a value that held an
// unescaped apostrophe). Empty pairs (";;") and a missing final ";" are fine.
inline std::optional<ParsedConnectionString> parse_connection_string(TextView text) {
    ParsedConnectionString out;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && (detail::is_blank(text[i]) || text[i] == u';')) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        const size_t eq = text.find(u'=', i);
        if (eq == TextView::npos) {
            return std::nullopt;
        }
        Text key = trim(text.substr(i, eq - i));
        while (!key.empty() && detail::is_blank(key.back())) {
            key.pop_back();
        }
        if (key.empty() || key.find(u';') != Text::npos) {
            return std::nullopt;
        }
        i = eq + 1;
        while (i < n && detail::is_blank(text[i])) {
            ++i;
        }
        Text value;
        if (i < n && (text[i] == u'\'' || text[i] == u'"')) {
            const char16_t quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value.push_back(quote);
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value.push_back(text[i++]);
            }
            if (!closed) {
                return std::nullopt;
            }
            while (i < n && detail::is_blank(text[i])) {
                ++i;
            }
            if (i < n && text[i] != u';') {
                return std::nullopt;
            }
        } else {
            const size_t end = std::min(text.find(u';', i), n);
            value = Text(text.substr(i, end - i));
            while (!value.empty() && detail::is_blank(value.back())) {
                value.pop_back();
            }
            i = end;
        }
        out.pairs.push_back({std::move(key), std::move(value)});
    }
    return out;
}

// The providers the program names, recognised by their programmatic or friendly name.
enum class AdoProvider { Odbc, SqlServer, Jet, Oracle, Unknown };

inline AdoProvider provider_of(const ParsedConnectionString& parsed) {
    const auto name = parsed.find(u"Provider");
    if (!name || trim(*name).empty()) {
        return AdoProvider::Odbc; // ADO's default provider: ODBC data sources
    }
    const Text upper = to_upper(trim(*name));
    if (upper == u"SQLOLEDB" || upper == u"SQLOLEDB.1") {
        return AdoProvider::SqlServer;
    }
    if (upper == u"MICROSOFT.JET.OLEDB.4.0") {
        return AdoProvider::Jet;
    }
    if (upper == u"MICROSOFT OLE DB PROVIDER FOR ORACLE" || upper == u"MSDAORA" ||
        upper == u"MSDAORA.1") {
        return AdoProvider::Oracle;
    }
    if (upper == u"MSDASQL" || upper == u"MSDASQL.1") {
        return AdoProvider::Odbc;
    }
    return AdoProvider::Unknown;
}

// The Source that ADO gives the errors a provider reports.
inline Text provider_error_source(AdoProvider provider) {
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

} // namespace pelto::ado
