#include "platform/character_locale.h"

#include <clocale>
#include <string>

namespace pelto::platform {

namespace {

bool names_utf8(const char* locale_name) {
    if (locale_name == nullptr) {
        return false;
    }
    std::string upper(locale_name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper.find("UTF-8") != std::string::npos || upper.find("UTF8") != std::string::npos;
}

} // namespace

void use_utf8_character_locale() {
    if (names_utf8(std::setlocale(LC_CTYPE, nullptr))) {
        return;
    }
    if (names_utf8(std::setlocale(LC_CTYPE, ""))) {
        return;
    }
    std::setlocale(LC_CTYPE, "C.UTF-8"); // where the system has none, the user's stays
}

} // namespace pelto::platform
