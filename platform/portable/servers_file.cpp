// network/servers.ini: which SQL Server addresses the mapped machine serves itself.
#include "platform/portable/servers_file.h"

#include <charconv>
#include <fstream>
#include <iterator>

namespace pelto::platform::portable {

namespace {

// A value ends at a ";" or "#" that follows a blank (a comment); a value in double
// quotes is taken as it stands.
Text ini_value(const Text& raw) {
    Text value = trim(raw);
    if (value.size() >= 2 && value.front() == u'"') {
        const size_t close = value.find(u'"', 1);
        if (close != Text::npos) {
            return value.substr(1, close - 1);
        }
    }
    for (size_t i = 1; i < value.size(); ++i) {
        if ((value[i] == u';' || value[i] == u'#') &&
            (value[i - 1] == u' ' || value[i - 1] == u'\t')) {
            value.resize(i);
            break;
        }
    }
    while (!value.empty() && (value.back() == u' ' || value.back() == u'\t')) {
        value.pop_back();
    }
    return trim(value);
}

} // namespace

std::optional<int32_t> parse_port(const Text& text) {
    const std::string digits = to_utf8(trim(text));
    int32_t port = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (ec != std::errc() || end != digits.data() + digits.size() || port <= 0 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

std::vector<Text> split(const Text& text, char16_t separator) {
    std::vector<Text> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(trim(text.substr(start, at == Text::npos ? Text::npos : at - start)));
        if (at == Text::npos) {
            return parts;
        }
        start = at + 1;
    }
}

ServersFile parse_servers_file(std::string_view bytes) {
    ServersFile file;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    size_t number = 0;
    for (const TextLine& line : split_lines(bytes)) {
        ++number;
        const Text text(trim_any(from_utf8(line.content), u" \t"));
        if (text.empty() || text.front() == u';' || text.front() == u'#') {
            continue;
        }
        const auto at = [&](const char16_t* what) {
            return u"network/servers.ini line " + from_utf8(std::to_string(number)) + u": " + what;
        };
        if (text.front() == u'[') {
            const size_t close = text.find(u']');
            if (close == Text::npos) {
                file.problem = at(u"a section name lacks its closing bracket");
                return file;
            }
            ServerEntry entry;
            entry.address = trim(text.substr(1, close - 1));
            entry.line = number;
            const auto parts = split(entry.address, u',');
            entry.host = parts[0];
            if (parts.size() > 2 || entry.host.empty()) {
                file.problem = at(u"a section names \"host\" or \"host,port\"");
                return file;
            }
            if (parts.size() == 2) {
                const auto port = parse_port(parts[1]);
                if (!port) {
                    file.problem = at(u"the port is not a number from 1 to 65535");
                    return file;
                }
                entry.port = *port;
            }
            file.entries.push_back(std::move(entry));
            continue;
        }
        const size_t eq = text.find(u'=');
        if (eq == Text::npos || file.entries.empty()) {
            file.problem = at(u"expected [host,port] or key=value");
            return file;
        }
        file.entries.back().values.emplace_back(to_upper(trim(text.substr(0, eq))),
                                                ini_value(text.substr(eq + 1)));
    }
    return file;
}

ServersFile read_servers_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ServersFile{}; // no file: no address is served locally
    }
    return parse_servers_file(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

} // namespace pelto::platform::portable
