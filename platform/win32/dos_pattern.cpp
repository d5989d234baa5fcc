#include "platform/win32/dos_pattern.h"

namespace pelto::platform::win32 {

namespace {

// Plain glob on upper-cased names: '*' any run, '?' one character.
bool glob(TextView p, TextView n) {
    size_t pi = 0;
    size_t ni = 0;
    size_t star = TextView::npos;
    size_t star_n = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            star_n = ni;
        } else if (star != TextView::npos) {
            pi = star + 1;
            ni = ++star_n;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') {
        ++pi;
    }
    return pi == p.size();
}

} // namespace

bool has_wildcards(TextView pattern) {
    return pattern.find_first_of(u"*?") != TextView::npos;
}

bool dos_pattern_matches(TextView pattern, TextView name) {
    if (pattern == u"*" || pattern == u"*.*") {
        return true;
    }
    const Text p = to_upper(pattern);
    const Text n = to_upper(name);
    const bool name_has_dot = n.find(u'.') != Text::npos;
    if (p.size() > 2 && ends_with(p, u".*") && !name_has_dot &&
        glob(TextView(p).substr(0, p.size() - 2), n)) {
        return true; // "readme.*" also names "readme"
    }
    if (p.size() > 1 && p.back() == u'.' && p != u"..") {
        TextView stem(p);
        while (!stem.empty() && stem.back() == u'.') {
            stem.remove_suffix(1);
        }
        return !name_has_dot && glob(stem, n); // "*." names what has no extension
    }
    return glob(p, n);
}

} // namespace pelto::platform::win32
