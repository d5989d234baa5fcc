// Code page 949 through iconv, which on glibc knows it as "CP949" (UHC).
#include "core/text.h"
#include "platform/codepage.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace pelto {

namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    // iconv_open reports failure as (iconv_t)-1.
    bool valid() const {
        return handle_ != reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
    }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

// Converts unit by unit so that one character without a target form becomes the
// replacement and the rest of the text still converts.
std::string convert(const char* to, const char* from, const char* data, size_t size, size_t unit,
                    std::string_view replacement) {
    const IconvHandle cd(to, from);
    std::string out;
    if (!cd.valid()) {
        return out;
    }
    out.reserve(size * 2);
    char buffer[64];
    size_t pos = 0;
    while (pos < size) {
        char* in_ptr = const_cast<char*>(data + pos);
        size_t in_left = size - pos;
        char* out_ptr = buffer;
        size_t out_left = sizeof buffer;
        const size_t rc = iconv(cd.get(), &in_ptr, &in_left, &out_ptr, &out_left);
        out.append(buffer, static_cast<size_t>(out_ptr - buffer));
        pos = static_cast<size_t>(in_ptr - data);
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL: skip one unit (two for a surrogate pair would need more
            // care; a lone unit is replaced, its partner then too).
            out.append(replacement);
            pos += unit;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

} // namespace

std::string to_cp949(TextView text) {
    // UTF-16LE in memory order of char16_t on the little-endian machines we build for.
    return convert("CP949", "UTF-16LE", reinterpret_cast<const char*>(text.data()),
                   text.size() * sizeof(char16_t), sizeof(char16_t), "?");
}

Text from_cp949(std::string_view bytes) {
    const std::string utf16 = convert("UTF-16LE", "CP949", bytes.data(), bytes.size(), 1,
                                      std::string("\xFD\xFF", 2)); // U+FFFD
    Text out(utf16.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                       (static_cast<unsigned char>(utf16[2 * i + 1]) << 8));
    }
    return out;
}

} // namespace pelto
