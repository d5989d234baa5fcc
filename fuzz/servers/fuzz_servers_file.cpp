// The servers.ini reader on arbitrary files: nothing may crash or read out of bounds, and
// what it hands the providers holds what they rely on: every entry names a host and a
// port from 1 to 65535, its keys are upper case, and no key or value runs past its line.
#include "platform/portable/servers_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_servers_file: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const pelto::platform::portable::ServersFile file =
        pelto::platform::portable::parse_servers_file(bytes);
    size_t previous_line = 0;
    for (const auto& entry : file.entries) {
        require(!entry.host.empty(), "an entry without a host");
        require(entry.port >= 1 && entry.port <= 65535, "a port out of range");
        require(entry.line > previous_line, "entries out of line order");
        previous_line = entry.line;
        for (const auto& [key, value] : entry.values) {
            require(key == pelto::to_upper(key), "a key not in upper case");
            require(key.find(u'\n') == pelto::Text::npos && value.find(u'\n') == pelto::Text::npos,
                    "a key or value runs past its line");
        }
    }
    return 0;
}
