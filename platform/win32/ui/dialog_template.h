// An in-memory dialog template (DLGTEMPLATE and its items), for dialogs built without a
// resource script. Coordinates are dialog units.
#pragma once

#include <string_view>
#include <vector>
#include <windows.h>

namespace pelto::platform::win32 {

class DialogTemplate {
public:
    // The dialog itself, with DS_SETFONT added and the font given.
    DialogTemplate(DWORD style, std::wstring_view caption, WORD point_size, std::wstring_view font,
                   short x, short y, short cx, short cy);

    // Predefined window classes, by their atoms.
    enum class Control : WORD { Button = 0x0080, Edit = 0x0081, Static = 0x0082 };

    void add(Control control, DWORD style, std::wstring_view text, WORD id, short x, short y,
             short cx, short cy);

    // Valid while this object lives and is not changed.
    const DLGTEMPLATE* get() const;

private:
    void align_to_dword();
    void append_text(std::wstring_view text);
    void append_dword(DWORD value);

    std::vector<WORD> words_;
};

} // namespace pelto::platform::win32
