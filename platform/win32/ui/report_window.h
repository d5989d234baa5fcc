// A long text to read and copy (the plan of a run): a dialog with the text, read-only and
// scrollable, a button that copies it to the clipboard and one that closes the dialog.
#pragma once

#include "core/text.h"

namespace pelto::platform::win32 {

// Control identifiers, for scripts and tests that answer the dialog.
constexpr int kReportTextId = 1101;
constexpr int kReportCopyId = 1102;

// Shows the text modally; false when the dialog could not be created (no desktop).
bool show_report_window(TextView text, TextView caption);

} // namespace pelto::platform::win32
