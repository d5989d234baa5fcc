// network/servers.ini below the machine root, UTF-8: one section per SQL Server address
// the machine serves ("[host,port]" or "[host]" for port 1433) with key = value lines.
// ";" and "#" start comment lines, and a comment at a value's end after a blank; a value
// in double quotes is taken as written. Keys are not case-sensitive.
#pragma once

#include "core/text.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace pelto::platform::portable {

constexpr int32_t kDefaultSqlServerPort = 1433;

struct ServerEntry {
    Text address; // the section name as written
    Text host;
    int32_t port = kDefaultSqlServerPort;
    std::vector<std::pair<Text, Text>> values; // key (upper case), value
    size_t line = 0;

    Text get(TextView key) const {
        for (const auto& [k, v] : values) {
            if (k == key) {
                return v;
            }
        }
        return Text();
    }
};

struct ServersFile {
    std::vector<ServerEntry> entries;
    std::optional<Text> problem; // a line that cannot be read
};

// The file's entries; `problem` names the first line that cannot be read (the entries
// before it are kept, nothing after it is read).
ServersFile parse_servers_file(std::string_view bytes);
// A missing file serves nothing.
ServersFile read_servers_file(const std::filesystem::path& path);

// A TCP port: 1 to 65535, digits only, blanks around allowed.
std::optional<int32_t> parse_port(const Text& text);
// The parts of `text` between the separators, each trimmed.
std::vector<Text> split(const Text& text, char16_t separator);

} // namespace pelto::platform::portable
