// The command line on Linux: argv is UTF-8 text; the terminal already shows the usage.
#include "platform/command_line.h"

namespace pelto::platform {

std::vector<Text> program_arguments(int argc, char** argv) {
    std::vector<Text> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(from_utf8(argv[i]));
    }
    return arguments;
}

void show_usage_dialog(TextView /*usage*/, MessageIcon /*icon*/, TextView /*caption*/) {}

} // namespace pelto::platform
