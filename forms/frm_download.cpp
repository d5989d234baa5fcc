#include "forms/frm_download.h"

#include "core/error.h"
#include "installer/exit_status.h"

#include <string>

namespace pelto {

namespace {

constexpr TextView kStagingFolder = u"C:\\펠토사용자설치";
constexpr TextView kProgramFolder = u"C:\\Pelto_H\\bin";
constexpr TextView kTemplateName = u"Pelto.ini";
constexpr TextView kInstallerPattern = u"INSTALLPELTO_H.EXE";
constexpr TextView kUpdaterPattern = u"PELTOUPDATE_H.EXE";
constexpr TextView kUnusableMessage =
    u"다운로더를 사용할 수 있는 환경이 아닙니다. 담당자에게 연락주세요.";
constexpr TextView kAppTitle = u"PeltoUserInstall";

} // namespace

void frm다운로드::sG_ShowMe(platform::Platform& p, const Text& gUpdatePath, int32_t 파일구분) {
    frm다운로드 form(p, gUpdatePath, 파일구분);
    form.window_ = p.ui.create_hidden_window(); // Load: the window exists, never shown
    form.Form_Load();
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

void frm다운로드::shell_copy(const Text& source, TextView destination) {
    const int status = p_.shell.copy_file(*window_, source, destination);
    p_.log.write("copy " + to_utf8(source) + " -> " + to_utf8(destination) +
                 (status == 0 ? std::string(": done")
                              : ": status " + std::to_string(status) + " (ignored)"));
}

void frm다운로드::s_CopyProgramFiles() {
    if (p_.files.list(kStagingFolder, platform::attr::kDirectory).empty()) {
        const bool created = p_.files.create_directory(kStagingFolder);
        p_.log.write(std::string("staging folder C:\\펠토사용자설치 ") +
                     (created ? "created" : "could not be created"));
    }

    Text listed = gUpdatePath_;
    if (!ends_with(listed, u"\\")) {
        listed += u'\\';
    }
    const std::vector<platform::DirEntry> entries =
        p_.files.list(listed, platform::attr::kDirectory);
    if (entries.empty()) {
        p_.ui.message_box(kUnusableMessage, platform::MessageIcon::Information, kAppTitle);
        p_.log.write("run ended (exit status " + std::to_string(exit_status::kUpdatePathUnusable) +
                     "): the update path " + to_utf8(gUpdatePath_) + " cannot be listed");
        throw ProcessEnd{exit_status::kUpdatePathUnusable};
    }

    const Text folder = source_folder();
    for (const platform::DirEntry& entry : entries) {
        const Text upper = to_upper(entry.name);
        if (contains(upper, kInstallerPattern) || contains(upper, kUpdaterPattern)) {
            shell_copy(folder + u"\\" + entry.name, kStagingFolder);
        }
    }
}

void frm다운로드::s_CopySettingsFile() {
    if (!p_.files.list(kProgramFolder, platform::attr::kDirectory).empty()) {
        shell_copy(source_folder() + u"\\" + Text(kTemplateName), kProgramFolder);
    } else {
        p_.log.write("C:\\Pelto_H\\bin does not exist; the settings-file template is not copied");
    }
}

} // namespace pelto
