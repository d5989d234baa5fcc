#include "platform/filesystem.h"

namespace pelto::platform {

std::optional<std::string> read_all(File& file) {
    std::string bytes;
    std::vector<uint8_t> buffer(size_t{64} * 1024);
    for (;;) {
        const std::optional<size_t> n = file.read(buffer);
        if (!n) {
            return std::nullopt;
        }
        if (*n == 0) {
            return bytes;
        }
        bytes.append(reinterpret_cast<const char*>(buffer.data()), *n);
    }
}

} // namespace pelto::platform
