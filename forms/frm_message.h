// frm메세지: the warning window shown before the installer starts. It shows the question
// the installer will ask, marks it with a red outline and tells the user to answer it
// with "아니오".
#pragma once

#include "platform/platform.h"
#include "platform/ui.h"

namespace pelto {

class frm메세지 {
public:
    // The window's design: caption, sizes and places (pixels at 96 dpi), the label and
    // the picture's message.
    static platform::WarningFormDesign Design();
    // Shows the window modally, centred on the screen; returns when the user closed it.
    static void Show(platform::Platform& p);
};

} // namespace pelto
