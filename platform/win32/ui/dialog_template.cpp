#include "platform/win32/ui/dialog_template.h"

namespace pelto::platform::win32 {

namespace {

// Where the item count lives: after style (2 words) and extended style (2 words).
constexpr size_t kItemCountIndex = 4;

} // namespace

DialogTemplate::DialogTemplate(DWORD style, std::wstring_view caption, WORD point_size,
                               std::wstring_view font, short x, short y, short cx, short cy) {
    append_dword(style | DS_SETFONT);
    append_dword(0);     // extended style
    words_.push_back(0); // item count, counted by add()
    words_.push_back(static_cast<WORD>(x));
    words_.push_back(static_cast<WORD>(y));
    words_.push_back(static_cast<WORD>(cx));
    words_.push_back(static_cast<WORD>(cy));
    words_.push_back(0); // no menu
    words_.push_back(0); // the standard dialog class
    append_text(caption);
    words_.push_back(point_size);
    append_text(font);
}

void DialogTemplate::add(Control control, DWORD style, std::wstring_view text, WORD id, short x,
                         short y, short cx, short cy) {
    align_to_dword();
    append_dword(style | WS_CHILD | WS_VISIBLE);
    append_dword(0); // extended style
    words_.push_back(static_cast<WORD>(x));
    words_.push_back(static_cast<WORD>(y));
    words_.push_back(static_cast<WORD>(cx));
    words_.push_back(static_cast<WORD>(cy));
    words_.push_back(id);
    words_.push_back(0xFFFF); // a predefined class by atom
    words_.push_back(static_cast<WORD>(control));
    append_text(text);
    words_.push_back(0); // no creation data
    ++words_[kItemCountIndex];
}

const DLGTEMPLATE* DialogTemplate::get() const {
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
}

void DialogTemplate::align_to_dword() {
    if (words_.size() % 2 != 0) {
        words_.push_back(0);
    }
}

void DialogTemplate::append_text(std::wstring_view text) {
    words_.insert(words_.end(), text.begin(), text.end());
    words_.push_back(0);
}

void DialogTemplate::append_dword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
}

} // namespace pelto::platform::win32
