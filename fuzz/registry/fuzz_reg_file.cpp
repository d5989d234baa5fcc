// The .reg reader and writer of the registry store on arbitrary files: nothing may crash
// or read out of bounds; a file that is read is written back byte for byte (a store
// rewrite must change nothing it did not mean to); and every value read, written again in
// the writer's own form, reads back as the same data.
#include "platform/portable/reg_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

namespace {

namespace reg = pelto::platform::portable::reg;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_reg_file: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto parsed = reg::parse(bytes);
    auto* doc = std::get_if<reg::Document>(&parsed);
    if (doc == nullptr) {
        return 0;
    }
    require(reg::serialise(*doc) == bytes, "a file read and written back changed");

    for (const reg::Record& r : doc->records) {
        if (r.kind == reg::Record::Kind::Key) {
            require(reg::key_in(*doc, r.key), "a key read is not found");
            continue;
        }
        if (r.kind != reg::Record::Kind::Value) {
            continue;
        }
        const pelto::platform::portable::RegValue value = reg::value_of(r);
        reg::Document one;
        const size_t at = reg::append_key(one, u"K");
        one.records.push_back(reg::make_record(
            reg::Record::Kind::Value, reg::format_value(r.name, value.type, value.data, one.eol)));
        (void)at;
        auto again = reg::parse(reg::serialise(one));
        auto* reread = std::get_if<reg::Document>(&again);
        require(reread != nullptr, "a value line the writer made is refused");
        const reg::Record* back = reg::find_value(*reread, u"K", r.name);
        require(back != nullptr, "a value the writer made is not found by its name");
        require(reg::value_of(*back) == value, "a value written and read back changed");
    }
    return 0;
}
