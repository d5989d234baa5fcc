// The workstation's fixed places, as the run, its forms and its database manager name
// them: where the suite lives, where the run stages and keeps things, and the caption of
// every dialog. The system never reads them from anywhere.
#pragma once

#include "core/text.h"

namespace pelto::workstation {

// The application title: the caption of every message box and input box.
inline constexpr TextView kAppTitle = u"PeltoUserInstall";

// The suite's folders and its settings file.
inline constexpr TextView kSuiteFolder = u"C:\\Pelto_H";
inline constexpr TextView kBinFolder = u"C:\\Pelto_H\\bin";
inline constexpr TextView kResourceFolder = u"C:\\Pelto_H\\Resource";
inline constexpr TextView kSettingsFileName = u"Pelto.ini";
inline constexpr TextView kSettingsFile = u"C:\\Pelto_H\\bin\\Pelto.ini";

// The staging folder, which receives the installer and the updater that the run starts,
// and the folder below it that keeps the settings files the run deletes or replaces.
inline constexpr TextView kStagingFolder = u"C:\\펠토사용자설치";
inline constexpr TextView kBackupFolder = u"C:\\펠토사용자설치\\보관";
inline constexpr TextView kInstallerName = u"installpelto_H.exe";
inline constexpr TextView kInstaller = u"C:\\펠토사용자설치\\installpelto_H.exe";
inline constexpr TextView kUpdaterName = u"PeltoUpdate_H.exe";
inline constexpr TextView kUpdater = u"C:\\펠토사용자설치\\PeltoUpdate_H.exe";

} // namespace pelto::workstation
