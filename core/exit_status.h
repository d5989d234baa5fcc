// The exit statuses of PeltoUserInstall_H, so that administrators can script the program.
// Each way the run can stop has its own number; 0 is only given after the completion
// message.
#pragma once

namespace pelto::exit_status {

// "설치가 완료 되었습니다." was shown and nothing in the run failed. (An installer or updater
// that asks for a restart gives the run its exit code instead: see asks_for_restart in
// platform/process.h.)
constexpr int kCompleted = 0;
// The central database could not be reached; only the two central aliases were written.
constexpr int kCentralConnectionFailed = 10;
// The input box was left empty or cancelled.
constexpr int kNoCodeEntered = 11;
// No institution row for the typed code ("요양기관기호가 잘못되었습니다.").
constexpr int kUnknownCode = 12;
// The institution's update path could not be listed ("다운로더를 사용할 수 있는 환경이
// 아닙니다. 담당자에게 연락주세요."); ended by the download form.
constexpr int kUpdatePathUnusable = 13;
// The installer was not in the staging folder after the copy.
constexpr int kInstallerMissing = 14;
// The updater was not in the staging folder after the copy (the installer has run).
constexpr int kUpdaterMissing = 15;
// The installation ran to its end ("설치가 완료 되었습니다." was shown), but something in it
// failed: the installer or the updater ended with a failing exit code, or the settings
// file's keys were not written. The run log's last line names each fault.
constexpr int kCompletedWithFaults = 16;
// /RESTORE found nothing to restore: no kept folder, not the one named, or kept files in
// folders this program did not make. Nothing was touched.
constexpr int kNothingToRestore = 17;
// An error reached Main and was shown as the generic error message.
constexpr int kUnhandledError = 20;
// The platform could not start (on Linux: PELTO_MACHINE_ROOT missing or unusable; on
// either: the run log /LOG names cannot be opened).
constexpr int kPlatformUnavailable = 21;
// An unknown or malformed command-line argument: the usage was printed and nothing was
// touched.
constexpr int kUsageError = 22;
// Another run was under way on the machine: this one ended at once, having touched
// nothing but its log line.
constexpr int kAnotherRunUnderWay = 23;
// The run had no administrator rights (Windows: a token that is not elevated) and ended
// before touching anything.
constexpr int kNotElevated = 24;

} // namespace pelto::exit_status
