// The profile-file writer on arbitrary files and entries: nothing may crash or read out of
// bounds; the key line is in the result; and writing the same entry a second time changes
// nothing (a rewrite finds what the first write made and never adds a second key line).
//
// Input: file, section, key and value separated by NUL bytes. Section, key and value
// holding a line break or NUL never reach the writer (the program refuses them first).
#include "platform/profile_rules.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_profile_entry: %s\n", what);
        std::abort();
    }
}

bool plain(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Blanks around a section or key name are not part of it, so a name made only of them,
// or one the writer cannot tell apart from a section line, is left out.
bool usable_name(std::string_view name) {
    return name.find_first_not_of(" \t") != std::string_view::npos &&
           name.find_first_of("[]=;") == std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::array<std::string_view, 4> parts{};
    size_t pos = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const size_t end = i + 1 < parts.size() ? input.find('\0', pos) : input.size();
        if (end == std::string_view::npos) {
            return 0;
        }
        parts[i] = input.substr(pos, end - pos);
        pos = end + 1;
    }
    const auto [file, section, key, value] = parts;
    if (!plain(section) || !plain(key) || !plain(value) || !usable_name(section) ||
        !usable_name(key) || value.find_first_of(" \t") == 0) {
        return 0;
    }
    const std::string once = pelto::platform::write_profile_entry(file, section, key, value);
    require(once.find(std::string(key) + "=" + std::string(value)) != std::string::npos,
            "the key line is missing");
    const std::string twice = pelto::platform::write_profile_entry(once, section, key, value);
    require(twice == once, "writing the same entry again changed the file");
    return 0;
}
