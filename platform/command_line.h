// The program's command line. The run's folders include no operating-system headers, so
// the arguments come through here: on Windows from the wide command line (Korean text
// and all), on Linux from argv in UTF-8.
#pragma once

#include "core/text.h"
#include "platform/ui.h"

#include <vector>

namespace pelto::platform {

// The arguments after the program's own name, each as the user gave it (quotes that
// only group words removed).
std::vector<Text> program_arguments(int argc, char** argv);

// Shows the usage where a person sees it when the program has no console: a message box
// on Windows; nothing on Linux, where standard output already shows it.
void show_usage_dialog(TextView usage, MessageIcon icon, TextView caption);

} // namespace pelto::platform
