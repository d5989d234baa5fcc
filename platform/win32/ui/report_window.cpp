#include "platform/win32/ui/report_window.h"

#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/wide.h"

#include <cstring>
#include <windows.h>

namespace pelto::platform::win32 {

namespace {

// The text with the line ends an edit control shows: "\r\n".
std::wstring with_crlf(TextView text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 40);
    for (const char16_t c : text) {
        if (c == u'\n') {
            out += L'\r';
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

// Puts the text on the clipboard as Unicode text.
void copy_to_clipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) {
        return;
    }
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
                GlobalFree(memory); // the clipboard did not take it
            }
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

INT_PTR CALLBACK report_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        SetDlgItemTextW(dialog, kReportTextId,
                        reinterpret_cast<const std::wstring*>(lparam)->c_str());
        SetForegroundWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case kReportCopyId:
            copy_to_clipboard(dialog, *reinterpret_cast<const std::wstring*>(
                                          GetWindowLongPtrW(dialog, DWLP_USER)));
            return TRUE;
        case IDOK:
        case IDCANCEL: // Close, Esc and the close button
            EndDialog(dialog, IDOK);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace

bool show_report_window(TextView text, TextView caption) {
    DialogTemplate dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER |
                              DS_SETFOREGROUND,
                          wide(caption), 9, L"MS Shell Dlg", 0, 0, 420, 280);
    dialog.add(DialogTemplate::Control::Edit,
               ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                   WS_HSCROLL | WS_BORDER | WS_TABSTOP,
               L"", kReportTextId, 7, 7, 406, 244);
    dialog.add(DialogTemplate::Control::Button, BS_PUSHBUTTON | WS_TABSTOP, L"복사 / Copy",
               kReportCopyId, 253, 259, 76, 14);
    dialog.add(DialogTemplate::Control::Button, BS_DEFPUSHBUTTON | WS_TABSTOP, L"닫기 / Close",
               IDOK, 337, 259, 76, 14);
    const std::wstring shown = with_crlf(text);
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), nullptr, report_procedure,
                                reinterpret_cast<LPARAM>(&shown));
    return result != -1 && result != 0;
}

} // namespace pelto::platform::win32
