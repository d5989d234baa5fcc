#include "forms/frm_download.h"

#include "core/error.h"
#include "core/exit_status.h"
#include "core/workstation.h"
#include "platform/folder_walk.h"
#include "platform/path_files.h"
#include "platform/run_end.h"

#include <algorithm>
#include <string>

namespace pelto {

namespace {

constexpr TextView kInstallerPattern = u"INSTALLPELTO_H.EXE";
constexpr TextView kUpdaterPattern = u"PELTOUPDATE_H.EXE";

// The update path as the job lists it: with one trailing backslash.
Text listing_pattern(const Text& update_path) {
    Text listed = update_path;
    if (!ends_with(listed, u"\\")) {
        listed += u'\\';
    }
    return listed;
}

bool is_installer_name(TextView name) {
    return contains(to_upper(name), kInstallerPattern);
}

bool is_updater_name(TextView name) {
    return contains(to_upper(name), kUpdaterPattern);
}

} // namespace

frm다운로드::UpdatePath frm다운로드::check_update_path(platform::Platform& p,
                                                       const Text& gUpdatePath) {
    const std::vector<platform::DirEntry> entries =
        platform::PathFiles(p.files, p.log)
            .list(listing_pattern(gUpdatePath), platform::attr::kDirectory);
    if (entries.empty()) {
        return UpdatePath::CannotBeListed;
    }
    const auto any = [&entries](bool (*rule)(TextView)) {
        return std::any_of(entries.begin(), entries.end(),
                           [rule](const platform::DirEntry& e) { return rule(e.name); });
    };
    if (!any(is_installer_name)) {
        return UpdatePath::NoInstaller;
    }
    if (!any(is_updater_name)) {
        return UpdatePath::NoUpdater;
    }
    return UpdatePath::Usable;
}

std::vector<frm다운로드::Copy> frm다운로드::sG_ShowMe(platform::Platform& p,
                                                      const Text& gUpdatePath, int32_t 파일구분) {
    frm다운로드 form(p, gUpdatePath, 파일구분);
    form.window_ = p.ui.create_hidden_window(); // Load: the window exists, never shown
    form.Form_Load();
    return std::move(form.copies_);
} // Unload: the window goes with the form

frm다운로드::frm다운로드(platform::Platform& p, const Text& gUpdatePath, int32_t 파일구분)
    : p_(p), gUpdatePath_(gUpdatePath), m파일구분(파일구분) {}

void frm다운로드::Form_Load() {
    if (m파일구분 == 0) {
        s_CopyProgramFiles();
    } else {
        s_CopySettingsFile();
    }
}

Text frm다운로드::source_folder() const {
    Text folder = gUpdatePath_;
    if (ends_with(folder, u"\\")) {
        folder.pop_back();
    }
    return folder;
}

void frm다운로드::shell_copy(const Text& source, platform::Folder& destination) {
    const int status = p_.shell.copy_file(*window_, source, destination);
    const Text name = source.substr(source.find_last_of(u'\\') + 1);
    Text copy = destination.path();
    if (!ends_with(copy, u"\\")) {
        copy += u'\\';
    }
    copies_.push_back(Copy{source, copy + name, status});
    p_.log.write("copy " + to_utf8(source) + " -> " + to_utf8(destination.path()) +
                 (status == 0 ? std::string(": done") : ": status " + std::to_string(status)));
}

void frm다운로드::s_CopyProgramFiles() {
    // The programs copied here are started with administrator rights: the run made the
    // folder ready before it deleted anything, and only a folder that still holds to the
    // run's rule (or is made now) is copied into. Anything else stops the run.
    platform::PathFiles paths(p_.files, p_.log);
    const platform::MadeFolder staging = paths.make_private_directory(
        workstation::kStagingFolder, platform::PrivateAccess::AdministratorsChange);
    if (!staging.folder) {
        p_.log.write("the staging folder C:\\펠토사용자설치 is not one this program made; "
                     "nothing is copied into it");
        throw VbError::runtime(vberr::kPathFileAccess);
    }
    p_.log.write("staging folder C:\\펠토사용자설치 ready");

    const std::vector<platform::DirEntry> entries =
        paths.list(listing_pattern(gUpdatePath_), platform::attr::kDirectory);
    if (entries.empty()) {
        platform::end_run(p_, kUnusableMessage, exit_status::kUpdatePathUnusable,
                          "the update path " + to_utf8(gUpdatePath_) + " cannot be listed");
    }

    const Text folder = source_folder();
    for (const platform::DirEntry& entry : entries) {
        if (is_installer_name(entry.name) || is_updater_name(entry.name)) {
            shell_copy(folder + u"\\" + entry.name, *staging.folder);
        }
    }
}

void frm다운로드::s_CopySettingsFile() {
    // Walked to again from the drive's root: the suite's installer may have reworked
    // C:\Pelto_H as it pleased.
    const platform::ReachedFolder bin =
        platform::reach_folder(p_.files, p_.log, workstation::kBinFolder);
    if (bin.folder) {
        shell_copy(source_folder() + u"\\" + Text(workstation::kSettingsFileName), *bin.folder);
    } else {
        p_.log.write("the settings-file template is not copied: " + platform::reach_text(bin));
    }
}

} // namespace pelto
