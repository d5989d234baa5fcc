// Dialogs, forms and the mouse pointer on user32: MessageBoxW, the input box and the
// warning window as real windows, the never-shown window of the download form.
#pragma once

#include "platform/run_log.h"
#include "platform/ui.h"

namespace pelto::platform::win32 {

constexpr const wchar_t* kHiddenWindowClass = L"PeltoDownloadForm";

class Win32UserInterface final : public UserInterface {
public:
    explicit Win32UserInterface(RunLog& log) : log_(log) {}

    void message_box(TextView text, MessageIcon icon, TextView caption) override;
    Text input_box(TextView prompt, TextView caption) override;
    void set_busy_pointer(bool busy) override;
    void show_warning_form(const WarningFormDesign& design) override;
    std::unique_ptr<OwnerWindow> create_hidden_window() override;
    void show_report(TextView text, TextView caption) override;

private:
    RunLog& log_;
};

} // namespace pelto::platform::win32
