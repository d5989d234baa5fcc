#include "platform/odbc_value.h"

namespace pelto::platform {

namespace {

bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

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

} // namespace pelto::platform
