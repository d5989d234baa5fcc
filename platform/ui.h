// Dialogs, the two forms' windows and the mouse pointer.
#pragma once

#include "core/text.h"

#include <memory>

namespace pelto::platform {

class OwnerWindow;

enum class MessageIcon {
    None,
    Information, // vbInformation
    Critical,    // vbCritical, the stop sign
};

// The design of the warning window, kept as the form's data in forms/.
struct WarningFormDesign {
    Text caption;                                                 // "경고"
    int client_width;                                             // 489
    int client_height;                                            // 366
    int picture_left, picture_top, picture_width, picture_height; // Image1
    int shape_left, shape_top, shape_width, shape_height;         // Shape1, red outline
    int label_left, label_top, label_width, label_height;         // Label1
    Text label_text;      // the red bold line with its quotes
    Text label_font;      // "맑은 고딕"
    int label_point_size; // 12
    Text picture_message; // the installer's question that the picture shows, as text
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // A modal message box with one OK button.
    virtual void message_box(TextView text, MessageIcon icon, TextView caption) = 0;
    // VB's InputBox: prompt, an empty edit field, OK and Cancel. Cancel gives "".
    virtual Text input_box(TextView prompt, TextView caption) = 0;
    // The application-wide mouse pointer: hourglass while busy, default otherwise.
    virtual void set_busy_pointer(bool busy) = 0;
    // Shows the warning window modally, centred on the screen; returns when the user
    // has closed it.
    virtual void show_warning_form(const WarningFormDesign& design) = 0;
    // Creates the never-shown window of the download form (owner of shell dialogs).
    virtual std::unique_ptr<OwnerWindow> create_hidden_window() = 0;
    // Shows a long text for the person to read and copy (the plan of a run), after it has
    // been printed on standard output: on Windows a window with the text and a button
    // that copies it; the terminal shows nothing more.
    virtual void show_report(TextView text, TextView caption) = 0;
};

} // namespace pelto::platform
