// A fresh machine root for one test: a new folder under the system's temporary folder
// with drive_c/, registry/, network/ and log/, and the portable services built on it
// with a memory run log, recording dialogs and a scripted terminal (no one answers on it).
// Everything is removed when the object goes, after undoing what would stop the removal
// (immutable flags, missing permissions).
#pragma once

#include "platform/portable/machine_portable.h"
#include "tests/support/recording.h"
#include "tests/support/scripted_terminal.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace pelto::testing {

class TempMachine {
public:
    TempMachine();
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // A folder beside the root (in the same temporary folder, removed with it) for
    // things that must lie outside the machine.
    const std::filesystem::path& outside() const { return outside_; }

    platform::portable::PortableMachine& machine() { return *machine_; }
    platform::Platform& platform() { return machine_->platform(); }
    MemoryRunLog& log() { return *log_; }
    RecordingUserInterface& ui() { return *ui_; }

    // The host path of a Windows path on this machine; throws when it has none.
    std::filesystem::path host(TextView windows_path) const;
    // Writes a file, creating its folders.
    void write_file(TextView windows_path, std::string_view bytes) const;
    std::string read_file(TextView windows_path) const;
    bool exists(TextView windows_path) const;
    void make_folder(TextView windows_path) const;

private:
    std::filesystem::path base_;
    std::filesystem::path root_;
    std::filesystem::path outside_;
    MemoryRunLog* log_ = nullptr;
    RecordingUserInterface* ui_ = nullptr;
    ScriptedTerminal terminal_;
    std::unique_ptr<platform::portable::PortableMachine> machine_;
};

// Host file helpers for test set-up.
void write_host_file(const std::filesystem::path& path, std::string_view bytes);
std::string read_host_file(const std::filesystem::path& path);
// Sets or clears the immutable flag (chattr +i); false where the file system or the
// process's rights do not allow it.
bool set_immutable(const std::filesystem::path& path, bool immutable);
// Makes a tree removable again: clears immutable flags, gives folders rwx to the owner.
void make_removable(const std::filesystem::path& path);

} // namespace pelto::testing
