#include "platform/win32/ui/input_box.h"

#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/ui/pointer.h"
#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

struct InputBoxState {
    std::wstring text;
};

std::wstring window_text(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

INT_PTR CALLBACK input_box_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        SetForegroundWindow(dialog);
        SetFocus(GetDlgItem(dialog, kInputBoxEditId));
        return FALSE; // the focus is set
    case WM_SETCURSOR:
        if (busy_pointer_shown()) {
            apply_pointer();
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: {
            auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
            state->text = window_text(GetDlgItem(dialog, kInputBoxEditId));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: // Cancel, Esc and the close button
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace

std::optional<Text> run_input_box(TextView prompt, TextView caption) {
    // The layout of VB's InputBox, in dialog units of the shell's dialog font (on a
    // Korean Windows "MS Shell Dlg" is Gulim 9 pt).
    DialogTemplate dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER |
                              DS_SETFOREGROUND,
                          wide(caption), 9, L"MS Shell Dlg", 0, 0, 240, 86);
    dialog.add(DialogTemplate::Control::Static, SS_LEFT | SS_NOPREFIX, wide(prompt),
               kInputBoxPromptId, 7, 8, 170, 50);
    dialog.add(DialogTemplate::Control::Button, BS_DEFPUSHBUTTON | WS_TABSTOP, L"확인", IDOK, 183,
               7, 50, 14);
    dialog.add(DialogTemplate::Control::Button, BS_PUSHBUTTON | WS_TABSTOP, L"취소", IDCANCEL, 183,
               25, 50, 14);
    dialog.add(DialogTemplate::Control::Edit, ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
               L"", kInputBoxEditId, 7, 64, 226, 13);

    InputBoxState state;
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), nullptr,
                                input_box_procedure, reinterpret_cast<LPARAM>(&state));
    if (result == -1 || result == 0) {
        return std::nullopt;
    }
    if (result != IDOK) {
        return Text();
    }
    return from_wide(state.text);
}

} // namespace pelto::platform::win32
