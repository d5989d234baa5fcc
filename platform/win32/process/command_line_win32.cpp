// The command line on Windows: the wide command line split as the C run-time would, so
// that a code or path in Korean arrives intact whatever the ANSI code page is.
#include "platform/command_line.h"
#include "platform/win32/wide.h"

#include <memory>
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace pelto::platform {

namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* block) const { LocalFree(static_cast<HLOCAL>(block)); }
};

} // namespace

std::vector<Text> program_arguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreeDeleter> list(
        CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<Text> arguments;
    if (!list) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(win32::from_wide(list.get()[i]));
    }
    return arguments;
}

void show_usage_dialog(TextView usage, MessageIcon icon, TextView caption) {
    const UINT style = MB_OK | MB_SETFOREGROUND |
                       (icon == MessageIcon::Critical      ? MB_ICONERROR
                        : icon == MessageIcon::Information ? MB_ICONINFORMATION
                                                           : 0U);
    MessageBoxW(nullptr, win32::wide(usage).c_str(), win32::wide(caption).c_str(), style);
}

} // namespace pelto::platform
