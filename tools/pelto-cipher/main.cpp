// pelto-cipher: see cipher_cli.h.
#include "tools/pelto-cipher/cipher_cli.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "core/text.h"

#include <memory>
// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* p) const { LocalFree(p); }
};

// The C run-time hands main its arguments in the ANSI code page; the wide command
// line keeps every character, so the tool reads that and passes UTF-8 on.
std::vector<std::string> utf8_arguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) {
        const auto* units = reinterpret_cast<const char16_t*>(wide.get()[i]);
        args.push_back(pelto::to_utf8(units));
    }
    return args;
}

} // namespace
#else
namespace {

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

} // namespace
#endif

int main(int argc, char** argv) {
    return pelto::tools::run_cipher_cli(utf8_arguments(argc, argv), std::cin, std::cout, std::cerr);
}
