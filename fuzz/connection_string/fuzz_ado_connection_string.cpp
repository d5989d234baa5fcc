// The ADO connection-string reader on arbitrary text: nothing may crash or read out of
// bounds, and what it accepts must mean the same when written back in the manager's own
// form ("key='value';" with apostrophes doubled): a value can never turn into a second key.
//
// Input: UTF-16 code units, low byte first.
#include "platform/ado_connection_string.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using pelto::Text;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_ado_connection_string: %s\n", what);
        std::abort();
    }
}

Text quoted(const Text& value) {
    Text out = u"'";
    for (const char16_t c : value) {
        out += c;
        if (c == u'\'') {
            out += u'\'';
        }
    }
    return out + u"'";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Text text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8U)));
    }
    const auto parsed = pelto::platform::parse_ado_connection_string(text);
    if (!parsed) {
        return 0;
    }
    (void)pelto::platform::provider_of(*parsed);
    Text rewritten;
    for (const auto& pair : parsed->pairs) {
        if (pair.key.find_first_of(u"=;'\"") != Text::npos || pelto::trim(pair.key).empty()) {
            return 0; // only keys the manager itself could write take part in the round trip
        }
        rewritten += pair.key + u"=" + quoted(pair.value) + u";";
    }
    const auto again = pelto::platform::parse_ado_connection_string(rewritten);
    require(again.has_value(), "its own quoted form is refused");
    require(again->pairs.size() == parsed->pairs.size(), "a value became another pair");
    for (size_t i = 0; i < again->pairs.size(); ++i) {
        require(again->pairs[i].value == parsed->pairs[i].value, "a quoted value changed");
    }
    return 0;
}
