// frm다운로드: the never-shown download form. Its load handler runs one of two copy jobs
// from the institution's update path; its window owns the shell's copy dialogs.
#pragma once

#include "core/text.h"
#include "platform/platform.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pelto {

class frm다운로드 {
public:
    // Shown when the update path cannot be listed.
    static constexpr TextView kUnusableMessage =
        u"다운로더를 사용할 수 있는 환경이 아닙니다. 담당자에게 연락주세요.";

    // One copy the form made: the file on the update path, the copy and the shell's
    // status (0 = done).
    struct Copy {
        Text source;
        Text destination;
        int status = 0;
    };

    // 파일구분 0: the installer and updater into the staging folder (ends the process
    // by throwing ProcessEnd when the update path cannot be listed; raises VB's error 75
    // when the staging folder is not one the run made, or cannot be made); any other
    // value: the settings-file template into C:\Pelto_H\bin, when that folder can be
    // reached from the drive's root. Each folder is held open while the shell copies into
    // it. Returns the copies made, in order (none when there was nothing to copy into).
    static std::vector<Copy> sG_ShowMe(platform::Platform& p, const Text& gUpdatePath,
                                       int32_t 파일구분);

    // What the program-files job will meet on the update path, looked at with the job's
    // own listing and name rule, and without touching anything.
    enum class UpdatePath {
        Usable,         // listable, with a name taken for the installer and one for the updater
        CannotBeListed, // the job would show kUnusableMessage and end
        NoInstaller,    // no name the job would take for the installer
        NoUpdater,      // no name the job would take for the updater
    };
    static UpdatePath check_update_path(platform::Platform& p, const Text& gUpdatePath);

private:
    frm다운로드(platform::Platform& p, const Text& gUpdatePath, int32_t 파일구분);
    void Form_Load();
    void s_CopyProgramFiles();
    void s_CopySettingsFile();
    // The update path with one trailing backslash removed.
    Text source_folder() const;
    void shell_copy(const Text& source, platform::Folder& destination);

    platform::Platform& p_;
    const Text& gUpdatePath_;
    int32_t m파일구분;
    std::unique_ptr<platform::OwnerWindow> window_; // the form's window while loaded
    std::vector<Copy> copies_;
};

} // namespace pelto
