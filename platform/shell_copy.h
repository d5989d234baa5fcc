// The shell's file copy (SHFileOperationA, FO_COPY, flags 0): progress for long copies,
// a question before replacing an existing file, the shell's own error reports. An
// unattended run turns all three off: nobody is there to answer.
#pragma once

#include "core/text.h"
#include "platform/filesystem.h"

namespace pelto::platform {

// A window that owns the shell's dialogs (the never-shown download form's window).
class OwnerWindow {
public:
    virtual ~OwnerWindow() = default;
    virtual void* native_handle() const = 0; // HWND on Windows, null elsewhere
};

class ShellCopy {
public:
    virtual ~ShellCopy() = default;
    // Copies one file into the open folder `destination`, keeping its name. The copy is
    // made into the folder that is held, never through a path someone could change
    // meanwhile (Windows gives the shell the folder's path while the run holds the folder,
    // which nobody may then rename). Returns the shell's status (0 = done); the program
    // logs it.
    virtual int copy_file(const OwnerWindow& owner, TextView source_file, Folder& destination) = 0;

    // Unattended copies replace an existing file without asking and show no progress
    // and no error dialog; the returned status still tells the outcome.
    void set_unattended(bool unattended) { unattended_ = unattended; }
    bool unattended() const { return unattended_; }

private:
    bool unattended_ = false;
};

} // namespace pelto::platform
