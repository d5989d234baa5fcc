// VB's InputBox as a real dialog: the prompt, OK and Cancel on the right, an empty edit
// field below; centred on the screen.
#pragma once

#include "core/text.h"

#include <optional>

namespace pelto::platform::win32 {

// Control identifiers, for scripts and tests that answer the dialog.
constexpr int kInputBoxPromptId = 1001;
constexpr int kInputBoxEditId = 1002;

// The text typed when OK was pressed, "" for Cancel, the close button or Esc; nullopt
// when the dialog could not be created at all (no desktop to show it on).
std::optional<Text> run_input_box(TextView prompt, TextView caption);

} // namespace pelto::platform::win32
