// ADO (OLE DB) connection strings: "key='value'; key2=value2; ..." with the padded key
// names the database manager builds ("Provider       ='SQLOLEDB'"). The connection and
// each platform's provider layer read them with these same rules, so the provider that
// names an error's source is the one that is reached.
#pragma once

#include "core/error.h"
#include "core/text.h"

#include <initializer_list>
#include <optional>
#include <vector>

namespace pelto::platform {

struct AdoConnectionString {
    struct Pair {
        Text key;   // trimmed of surrounding blanks, spelling kept
        Text value; // quotes removed, doubled quotes undone; an unquoted value trimmed
    };
    std::vector<Pair> pairs;

    // The value of `key`, ignoring case ("data source" matches "Data Source    "). A key
    // given twice keeps its last value, as OLE DB does.
    std::optional<Text> find(TextView key) const;
    // The value of the first of `keys` present: synonyms such as "User Id" and "UID".
    std::optional<Text> find_any(std::initializer_list<TextView> keys) const;
};

// nullopt when the text does not follow the grammar: a pair without "=", a quoted value
// that is not closed, or text after a closing quote (a value that held an unescaped
// apostrophe, such as a password the manager inserted as it stands). Empty pairs (";;")
// and a missing final ";" are fine.
std::optional<AdoConnectionString> parse_ado_connection_string(TextView text);

// What OLE DB's service components report for a string parse_ado_connection_string refuses.
Error malformed_ado_connection_string();

// The providers the program names, recognised by their programmatic or friendly name.
enum class AdoProvider { Odbc, SqlServer, Jet, Oracle, Unknown };

AdoProvider provider_of(const AdoConnectionString& parsed);

// The Source that ADO gives the errors a provider reports.
Text provider_error_source(AdoProvider provider);

} // namespace pelto::platform
