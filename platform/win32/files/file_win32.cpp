#include "platform/win32/files/file_win32.h"

#include <algorithm>
#include <limits>

namespace pelto::platform::win32 {

namespace {

class Win32File final : public File {
public:
    explicit Win32File(FileHandle handle) : handle_(std::move(handle)) {}

    std::optional<uint64_t> size() override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(handle_.get(), &size)) {
            return std::nullopt;
        }
        return static_cast<uint64_t>(size.QuadPart);
    }

    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        const DWORD wanted =
            static_cast<DWORD>(std::min<size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
        DWORD got = 0;
        if (!ReadFile(handle_.get(), buffer.data(), wanted, &got, nullptr)) {
            return std::nullopt;
        }
        return got;
    }

    bool write(std::span<const uint8_t> data) override {
        while (!data.empty()) {
            const DWORD chunk = static_cast<DWORD>(
                std::min<size_t>(data.size(), std::numeric_limits<DWORD>::max()));
            DWORD written = 0;
            if (!WriteFile(handle_.get(), data.data(), chunk, &written, nullptr) || written == 0) {
                return false;
            }
            data = data.subspan(written);
        }
        return true;
    }

private:
    FileHandle handle_;
};

} // namespace

std::unique_ptr<File> make_win32_file(FileHandle handle) {
    return std::make_unique<Win32File>(std::move(handle));
}

} // namespace pelto::platform::win32
