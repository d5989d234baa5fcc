// mdl시작: the installation run, from the two central aliases to the completion message.
#include "installer/mdl_start.h"

#include "cipher/cls_zan_cipher.h"
#include "core/error.h"
#include "core/variant.h"
#include "core/workstation.h"
#include "db/ado/recordset.h"
#include "db/cls_db_mng.h"
#include "forms/frm_download.h"
#include "forms/frm_message.h"
#include "installer/mdl_functions.h"
#include "installer/private_folders.h"
#include "installer/settings_backup.h"
#include "platform/profile_rules.h"
#include "platform/run_end.h"
#include "registry/mdl_registry.h"

#include <array>
#include <string>
#include <utility>

#ifndef PELTO_CENTRAL_SERVER_1
#error "PELTO_CENTRAL_SERVER_1 (the first central server's address) is set by the build"
#endif
#ifndef PELTO_CENTRAL_SERVER_2
#error "PELTO_CENTRAL_SERVER_2 (the second central server's address) is set by the build"
#endif

namespace pelto::mdl시작 {

namespace {

constexpr TextView kCentralServer1 = u"" PELTO_CENTRAL_SERVER_1;
constexpr TextView kCentralServer2 = u"" PELTO_CENTRAL_SERVER_2;
constexpr TextView kCentralPort = u",4181";
constexpr TextView kCentralLogin = u"sa";
constexpr TextView kCentralPassword = u"$63TirMox47@$";
constexpr TextView kCentralDatabase = u"Holmaview";

constexpr TextView kAliasKey = u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";
constexpr TextView kPolicyKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr TextView kSettingsSection = u"Database Server";

constexpr TextView kPrompt = u"요양기관기호를 입력해주세요.";
constexpr TextView kUnknownCodeMessage = u"요양기관기호가 잘못되었습니다.";
constexpr TextView kInstallerMissingMessage =
    u"자동업데이트경로에 인스톨파일이 존재하지않습니다. 담당자에게 연락해주시기 바랍니다.";
constexpr TextView kUpdaterMissingMessage =
    u"자동업데이트경로에 업데이트파일이 존재하지않습니다. 담당자에게 연락해주시기 바랍니다.";
constexpr TextView kCompletedMessage = u"설치가 완료 되었습니다.";

using mdl레지스트리::kNumber;
using mdl레지스트리::kText;

struct PolicyValue {
    TextView name;
    int32_t value;
};

// User-account-control policy values, in writing order and with their letter case.
constexpr std::array<PolicyValue, 14> kPolicyValues{{
    {u"ConsentPromptBehaviorAdmin", 2},
    {u"ConsentPromptBehaviorUser", 3},
    {u"dontdisplaylastusername", 0},
    {u"EnableInstallerDetection", 1},
    {u"EnableLUA", 1},
    {u"EnableSecureUIAPaths", 1},
    {u"EnableUIADesktopToggle", 0},
    {u"EnableVirtualization", 1},
    {u"FilterAdministratorToken", 0},
    {u"PromptOnSecureDesktop", 1},
    {u"scforceoption", 0},
    {u"shutdownwithoutlogon", 1},
    {u"undockwithoutlogon", 1},
    {u"ValidateAdminCodeSignatures", 0},
}};

void log(platform::Platform& p, const std::string& line) {
    p.log.write(line);
}

std::string u8(TextView text) {
    return to_utf8(text);
}

clsDBMng& manager(platform::Platform& p, ProgramState& g) {
    if (!g.gDBMng) {
        g.gDBMng = std::make_unique<clsDBMng>(p);
    }
    return *g.gDBMng;
}

clsZan암호화& cipher(ProgramState& g) {
    if (!g.gCipher) {
        g.gCipher = std::make_unique<clsZan암호화>();
    }
    return *g.gCipher;
}

// Quiet early exit: the status Main returns, with its reason in the run log.
int stop(platform::Platform& p, int status, const std::string& reason) {
    log(p, "run stopped (exit status " + std::to_string(status) + "): " + reason);
    return status;
}

bool normal_file_exists(platform::Platform& p, TextView path) {
    return !p.files.list(path, platform::attr::kNormal).empty();
}

// Starts a program of the staging folder and waits on the process itself until it has
// ended. The run goes on whatever it ends with; a failing exit code is a fault of the run,
// and one that asks for a restart is passed on as the run's exit status.
void run_and_wait(platform::Platform& p, ProgramState& g, TextView path, const std::string& what) {
    log(p, "starting the " + what + " " + u8(path));
    const std::unique_ptr<platform::Process> process =
        p.processes.start(path, platform::kShowNormalFocus, workstation::kStagingFolder);
    log(p, what + " started, process " + std::to_string(process->id()) + "; waiting for it");
    const std::optional<uint32_t> code = process->wait_for_exit();
    if (!code) {
        log(p, what + " could not be waited for; going on");
        g.faults.push_back("the " + what + " could not be waited for");
        return;
    }
    log(p, what + " ended with exit code " + std::to_string(*code));
    const uint32_t mask = p.processes.exit_code_mask();
    if (platform::asks_for_restart(*code, mask)) {
        // 1641 (a restart under way) says more than 3010 (one is needed).
        if (!g.restart_code || *code != (3010U & mask)) {
            g.restart_code = *code;
        }
    } else if (*code != 0) {
        g.faults.push_back("the " + what + " ended with exit code " + std::to_string(*code));
    }
}

// How the run log names why a connection test failed: the error's number, its SQLSTATE
// when a driver gave one, and its text, so that a refused login is told from a server
// that cannot be reached.
std::string connect_failure_text(const std::optional<Error>& failure) {
    if (!failure) {
        return "no reason given";
    }
    std::string text = "error " + std::to_string(failure->number);
    if (!failure->sql_state.empty()) {
        text += ", SQLSTATE " + u8(failure->sql_state);
    }
    return text + ": " + u8(failure->description);
}

// The exit status of a run that went to its end, and the run log's last words on it.
std::pair<int, std::string> completed_status(const ProgramState& g) {
    if (!g.faults.empty()) {
        std::string faults;
        for (const std::string& fault : g.faults) {
            faults += (faults.empty() ? "" : "; ") + fault;
        }
        return {exit_status::kCompletedWithFaults, "installation completed with faults: " + faults};
    }
    if (g.restart_code) {
        return {static_cast<int>(*g.restart_code),
                "installation completed; the installer or updater asks for a restart (exit code " +
                    std::to_string(*g.restart_code) + ")"};
    }
    return {exit_status::kCompleted, "installation completed"};
}

Text read_text(ado::Recordset& rs, TextView column) {
    return rs.Fields(Text(column)).Value().to_text();
}

} // namespace

ProgramState::ProgramState() = default;
ProgramState::~ProgramState() = default;

Text lookup_statement(TextView code) {
    return u" Select 자동업데이트경로, SQLNAME, SQLUSER, SQLPW, MainDB from PL_기관정보 where "
           u"요양기관코드 = '" +
           replace_all(code, u"'", u"''") + u"' ";
}

Text institution_password(clsZan암호화& c, const std::function<Text()>& read_column) {
    const Text d1 = trim(c.fG_복호화(read_column(), true));
    const Text d2 = c.fG_복호화(read_column(), true);
    const Text d3 = c.fG_복호화(read_column(), false);
    return trim(d1.empty() ? d3 : d2);
}

namespace {

// Steps 3 to 8: the institution's row in the central database, read into the program's
// state. The exit status when the run stops quietly (no central database, no code, no
// row), nothing when it goes on.
std::optional<int> look_up_institution(platform::Platform& p, ProgramState& g,
                                       const installer::RunOptions& options) {
    // Step 3: the central database, through the second server's alias.
    const Text server2(kCentralServer2);
    log(p, "step 3: connecting to the central database " + u8(kCentralDatabase) + " on " +
               u8(server2));
    if (manager(p, g).ConnectServerDB(Variant(server2), Variant(Text(kCentralLogin)),
                                      Variant(Text(kCentralPassword)),
                                      Text(kCentralDatabase)) == 0) {
        return stop(p, exit_status::kCentralConnectionFailed,
                    "the central database could not be reached");
    }
    log(p, "step 3: connected to the central database");

    // Step 4: the care-institution code, used exactly as typed or as given (/CODE=).
    if (options.code) {
        log(p,
            "step 4: care-institution code given on the command line: '" + u8(*options.code) + "'");
    }
    const Text code =
        options.code ? *options.code : p.ui.input_box(kPrompt, workstation::kAppTitle);
    if (code.empty()) {
        return stop(p, exit_status::kNoCodeEntered,
                    "no care-institution code entered (empty or cancelled)");
    }
    if (!options.code) {
        log(p, "step 4: care-institution code entered: '" + u8(code) + "'");
    }

    // Steps 5 to 7: the institution row.
    g.gSQL = lookup_statement(code);
    log(p, "step 5: lookup statement:" + u8(g.gSQL));
    g.institution_rows = manager(p, g).GetRecordSet(g.gSQL, 0, 1, 3);
    const std::shared_ptr<ado::Recordset>& rs = g.institution_rows;
    if (!rs) {
        throw VbError::runtime(vberr::kObjectVariableNotSet);
    }
    const int32_t rows = rs->RecordCount();
    log(p, "step 7: " + std::to_string(rows) + " institution row(s) found");
    if (rows == 0) {
        p.ui.message_box(kUnknownCodeMessage, platform::MessageIcon::Information,
                         workstation::kAppTitle);
        return stop(p, exit_status::kUnknownCode, "no institution row for the code");
    }

    // Step 8: the first row, each column as text, unchanged.
    g.gUpdatePath = read_text(*rs, u"자동업데이트경로");
    g.gSQLName = read_text(*rs, u"SQLNAME");
    g.gSQLUser = read_text(*rs, u"SQLUSER");
    g.gSQLPW = institution_password(cipher(g), [&rs] { return read_text(*rs, u"SQLPW"); });
    g.gMainDB = read_text(*rs, u"MainDB");
    log(p, "step 8: update path '" + u8(g.gUpdatePath) + "', institution server '" +
               u8(g.gSQLName) + "', login '" + u8(g.gSQLUser) + "', database '" + u8(g.gMainDB) +
               "', password " + (g.gSQLPW.empty() ? "empty" : "deciphered"));
    return std::nullopt;
}

// Before anything is removed: would the copy find the update path, the installer and the
// updater? A run that cannot go on ends here and loses nothing.
void check_update_path(platform::Platform& p, ProgramState& g) {
    log(p, "checking the update path before anything is removed");
    switch (frm다운로드::check_update_path(p, g.gUpdatePath)) {
    case frm다운로드::UpdatePath::CannotBeListed:
        platform::end_run(p, frm다운로드::kUnusableMessage, exit_status::kUpdatePathUnusable,
                          "the update path " + u8(g.gUpdatePath) +
                              " cannot be listed; nothing removed");
    case frm다운로드::UpdatePath::NoInstaller:
        platform::end_run(p, kInstallerMissingMessage, exit_status::kInstallerMissing,
                          "no installer on the update path; nothing removed");
    case frm다운로드::UpdatePath::NoUpdater:
        platform::end_run(p, kUpdaterMissingMessage, exit_status::kUpdaterMissing,
                          "no updater on the update path; nothing removed");
    case frm다운로드::UpdatePath::Usable:
        break;
    }
}

// Steps 9 to 16: the old resources and settings files go (kept first), the installer and
// updater are copied, the warning shown, and both programs run to their end.
void replace_programs(platform::Platform& p, ProgramState& g) {
    // The staging folder is made ready first, in every run: a folder someone else made is
    // moved aside, never used. Then the settings files that steps 10 and 17 delete or
    // replace are kept. When either cannot be done, error 75 ends the run with nothing
    // deleted.
    const Text stamp = installer::folder_stamp(platform::local_time_now());
    installer::prepare_private_folder(p, workstation::kStagingFolder,
                                      platform::PrivateAccess::AdministratorsChange, stamp);
    installer::keep_settings_files(p, stamp);

    // Steps 9 and 10: the suite's resources and settings files.
    const bool resource_removed = mdl함수::fG_DeleteFolder(p, Text(workstation::kResourceFolder));
    log(p, std::string("step 9: resource folder removal: ") +
               (resource_removed ? "True" : "False (no such folder)"));
    mdl함수::sG_DeleteBinIniFiles(p);
    log(p, "step 10: ini files of C:\\Pelto_H\\bin deleted");

    // Step 11: installer and updater into the staging folder (may end the process).
    log(p, "step 11: copying the installer and updater from the update path");
    frm다운로드::sG_ShowMe(p, g.gUpdatePath, 0);

    // Step 12: the warning window.
    log(p, "step 12: warning window shown");
    frm메세지::Show(p);
    log(p, "step 12: warning window closed");

    // Steps 13 to 16: the installer, then the updater, each run to its end.
    if (!normal_file_exists(p, workstation::kInstaller)) {
        platform::end_run(p, kInstallerMissingMessage, exit_status::kInstallerMissing,
                          "installer missing in the staging folder");
    }
    run_and_wait(p, g, workstation::kInstaller, "installer");
    if (!normal_file_exists(p, workstation::kUpdater)) {
        platform::end_run(p, kUpdaterMissingMessage, exit_status::kUpdaterMissing,
                          "updater missing in the staging folder");
    }
    run_and_wait(p, g, workstation::kUpdater, "updater");
}

// Steps 17 to 20: the settings file, the institution server's test and the policy values.
void configure_workstation(platform::Platform& p, ProgramState& g) {
    // Step 17: the settings-file template.
    log(p, "step 17: copying the settings-file template");
    frm다운로드::sG_ShowMe(p, g.gUpdatePath, 1);

    // Step 18: the database section of the settings file (the password in plain text, as
    // the suite reads it; it never goes into the log). The four keys land in one edit of
    // the file: a failure leaves the old file, never a part of the new keys.
    const std::array<platform::ProfileEntry, 4> keys{{
        {u"server_name", g.gSQLName},
        {u"server_id", g.gSQLUser},
        {u"server_pwd", g.gSQLPW},
        {u"database_name", g.gMainDB},
    }};
    const Text file(workstation::kSettingsFile);
    const std::string written = platform::profile_write_subject(kSettingsSection, keys, file);
    if (p.profiles.write_private_profile_strings(kSettingsSection, keys, file)) {
        log(p, "step 18: written: " + written);
    } else {
        log(p, "step 18: NOT written (the line above says why): " + written);
        g.faults.push_back("the settings file's keys were not written: " + written);
    }

    // Step 19: the institution server; a named-pipe alias when TCP/IP does not reach it.
    log(p, "step 19: testing the institution server '" + u8(g.gSQLName) + "'");
    clsDBMng& db = manager(p, g);
    const bool reached = db.ConnectServerDB(Variant(g.gSQLName), Variant(g.gSQLUser),
                                            Variant(g.gSQLPW), g.gMainDB) != 0;
    g.institution_server_tested = true;
    if (!reached) {
        g.institution_server_failure = db.last_connect_failure();
        log(p, "step 19: institution server not reachable (" +
                   connect_failure_text(g.institution_server_failure) +
                   "); writing a named-pipe alias");
        mdl레지스트리::sG_SetRegValue(
            p, Text(kAliasKey), g.gSQLName,
            Variant(u"DBNMPNTW,\\\\" + g.gSQLName + u"\\pipe\\sql\\query"), kText);
    } else {
        log(p, "step 19: institution server reached; no alias written");
    }

    // Step 20: the user-account-control policy values.
    log(p, "step 20: writing the policy values");
    for (const PolicyValue& v : kPolicyValues) {
        mdl레지스트리::sG_SetRegValue(p, Text(kPolicyKey), Text(v.name), Variant(v.value), kNumber);
    }
}

} // namespace

int Main(platform::Platform& p, ProgramState& g, const installer::RunOptions& options) {
    log(p, "installation run started");

    // Steps 1 and 2: client aliases of the two central servers, the second on port 4181.
    const Text server1(kCentralServer1);
    const Text server2(kCentralServer2);
    log(p, "step 1: alias for the first central server " + u8(server1));
    mdl레지스트리::sG_SetRegValue(p, Text(kAliasKey), server1, Variant(u"DBMSSOCN," + server1),
                                  kText);
    log(p, "step 2: alias for the second central server " + u8(server2));
    mdl레지스트리::sG_SetRegValue(p, Text(kAliasKey), server2,
                                  Variant(u"DBMSSOCN," + server2 + Text(kCentralPort)), kText);

    if (const std::optional<int> stopped = look_up_institution(p, g, options)) {
        return *stopped;
    }
    check_update_path(p, g);
    replace_programs(p, g);
    configure_workstation(p, g);

    // Step 21: the message stays the same; the exit status and the log tell what failed.
    const auto [status, reason] = completed_status(g);
    p.ui.message_box(kCompletedMessage, platform::MessageIcon::Information, workstation::kAppTitle);
    log(p, "run ended (exit status " + std::to_string(status) + "): " + reason);
    return status;
}

} // namespace pelto::mdl시작
