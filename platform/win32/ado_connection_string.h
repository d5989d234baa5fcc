// The key=value pairs of an ADO (OLE DB) connection string, as the provider reads them:
// pairs separated by ";", names and unquoted values trimmed of surrounding blanks, a value
// in single or double quotes taken literally up to its closing quote (a doubled quote
// stands for one), names compared without regard to case.
#pragma once

#include "core/text.h"

#include <optional>
#include <utility>
#include <vector>

namespace pelto::platform::win32 {

class AdoConnectionString {
public:
    static AdoConnectionString parse(TextView text);

    // The value of the first of `names` present (synonyms such as "User Id" and "UID");
    // a name given twice keeps its last value, as OLE DB does.
    std::optional<Text> get(std::initializer_list<TextView> names) const;
    const std::vector<std::pair<Text, Text>>& pairs() const { return pairs_; }

private:
    std::vector<std::pair<Text, Text>> pairs_;
};

// A value for an ODBC connection string: wrapped in braces (closing braces doubled) when
// it holds a character that would otherwise end it or start another attribute, so a
// password with ";" can never add attributes of its own.
Text odbc_value(TextView value);

} // namespace pelto::platform::win32
