// The warning window of the run: a picture of the installer's question, a red outline over
// the part that matters and a red line of text telling the user to answer "아니오". Shown
// modally, centred on the screen; closed with the close button or Esc.
#pragma once

#include "platform/ui.h"

namespace pelto::platform::win32 {

constexpr const wchar_t* kWarningWindowClass = L"PeltoWarningForm";

// False when the window could not be created (no desktop to show it on).
bool run_warning_window(const WarningFormDesign& design);

} // namespace pelto::platform::win32
