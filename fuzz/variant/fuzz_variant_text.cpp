// CLng, CDbl, CDec, CBool and CDate of arbitrary text: nothing may crash or read out of
// bounds, the only errors are VB's type mismatch (13) and overflow (6), and the number
// conversions agree with each other where they all succeed.
//
// Input: a first byte of flags (bit 0: the rest is UTF-16 code units, low byte first;
// otherwise one code unit per byte, so that digits and signs are common), then the text.
#include "core/error.h"
#include "core/variant.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using pelto::Text;
using pelto::Variant;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_variant_text: %s\n", what);
        std::abort();
    }
}

template <typename F> auto attempt(F f) -> std::optional<decltype(f())> {
    try {
        return f();
    } catch (const pelto::VbError& e) {
        require(e.number() == pelto::vberr::kTypeMismatch || e.number() == pelto::vberr::kOverflow,
                "an error other than type mismatch or overflow");
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    Text text;
    if ((data[0] & 1U) != 0) {
        for (size_t i = 1; i + 1 < size; i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8U)));
        }
    } else {
        text.assign(data + 1, data + size);
    }
    const Variant v(text);
    const auto as_double = attempt([&] { return v.to_double(); });
    const auto as_long = attempt([&] { return v.to_long(); });
    const auto as_decimal = attempt([&] { return v.to_decimal().to_double(); });
    (void)attempt([&] { return v.to_bool(); });
    (void)attempt([&] { return v.to_date(); });
    (void)attempt([&] { return v.to_text(); });

    if (as_double && as_long) {
        require(static_cast<double>(*as_long) == std::nearbyint(*as_double),
                "CLng is not CDbl rounded to even");
    }
    if (as_double && as_decimal) {
        const double scale = std::fmax(1.0, std::fabs(*as_double));
        require(std::fabs(*as_double - *as_decimal) <= 1e-9 * scale, "CDec and CDbl disagree");
    }
    return 0;
}
