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
#include "platform/folder_walk.h"
#include "platform/path_files.h"
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

// Writes one registry value. The run goes on whatever the registry answers, but a value
// that is not written leaves the workstation other than a completed run leaves it: a fault.
void write_value(platform::Platform& p, std::vector<std::string>& faults, TextView key,
                 const Text& name, const Variant& value, int32_t type) {
    const long status = mdl레지스트리::set_reg_value(p, Text(key), name, value, type);
    if (status != platform::kRegSuccess) {
        faults.push_back("HKLM\\" + u8(key) + " \"" + u8(name) + "\" was not written (status " +
                         std::to_string(status) + ")");
    }
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
    log(p, "run ended (exit status " + std::to_string(status) + "): " + reason);
    return status;
}

// What a started program's end means for the run: a failing exit code is a fault of the
// run, and one that asks for a restart is passed on as the run's exit status.
void record_exit(platform::Platform& p, ProgramState& g, const std::string& what,
                 const std::optional<uint32_t>& code) {
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
        // A restart the installer asked for is still needed: the faults do not undo it.
        if (g.restart_code) {
            faults += "; the installer or updater also asks for a restart (exit code " +
                      std::to_string(*g.restart_code) + ")";
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
    const frm다운로드::UpdatePath found = frm다운로드::check_update_path(p, g.gUpdatePath);
    g.update_path_checked = true;
    g.update_path_usable = found == frm다운로드::UpdatePath::Usable;
    switch (found) {
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

// The folders below C:\Pelto_H that steps 9 and 10 delete in, reached from the drive's
// root before anything is deleted. A link on the way (one an administrator made on purpose
// aside) ends the run with error 75 there: what it leads to is not the suite's.
struct SuiteFolders {
    std::unique_ptr<platform::Folder> suite; // C:\Pelto_H; null when it is not there
    std::unique_ptr<platform::Folder> bin;   // C:\Pelto_H\bin; null when it is not there
};

SuiteFolders reach_suite_folders(platform::Platform& p) {
    SuiteFolders out;
    for (const TextView folder :
         {workstation::kSuiteFolder, workstation::kBinFolder, workstation::kResourceFolder}) {
        platform::ReachedFolder reached = platform::reach_folder(p.files, p.log, folder);
        // A folder that is there but cannot be reached (a link, or one the system will not
        // open) is not one the run may take for missing: its files would go unkept.
        if (reached.outcome == platform::Reach::Link ||
            reached.outcome == platform::Reach::Refused) {
            log(p, "the run's folders cannot be reached safely: " + platform::reach_text(reached) +
                       "; nothing is deleted");
            throw VbError::runtime(vberr::kPathFileAccess);
        }
        if (folder == workstation::kSuiteFolder) {
            out.suite = std::move(reached.folder);
        } else if (folder == workstation::kBinFolder) {
            out.bin = std::move(reached.folder);
        }
    }
    return out;
}

// Steps 9 and 10 in the folders the run holds.
void delete_old_files(platform::Platform& p, ProgramState& g, SuiteFolders& suite) {
    const bool resource_removed =
        suite.suite && mdl함수::delete_folder_in(p, *suite.suite, u"Resource");
    log(p, std::string("step 9: resource folder removal: ") +
               (resource_removed ? "True" : "False (no such folder)"));
    if (!suite.bin) {
        log(p, "step 10: C:\\Pelto_H\\bin is not there; no ini files deleted");
        return;
    }
    const mdl함수::BinIniDeletion done = mdl함수::delete_bin_ini_files(p, *suite.bin);
    const auto joined = [](const std::vector<Text>& names) {
        std::string text;
        for (const Text& name : names) {
            text += (text.empty() ? "" : ", ") + u8(name);
        }
        return text;
    };
    log(p, "step 10: " + (done.deleted.empty()
                              ? std::string("no ini files deleted in C:\\Pelto_H\\bin")
                              : "deleted from C:\\Pelto_H\\bin: " + joined(done.deleted)));
    // What should have gone and stayed leaves the workstation other than a completed run.
    if (done.unreadable) {
        g.faults.push_back("C:\\Pelto_H\\bin could not be listed, so its ini files stay");
    } else if (!done.stayed.empty()) {
        g.faults.push_back("C:\\Pelto_H\\bin\\" + joined(done.stayed) + " could not be deleted");
    }
}

// The file the copy took for `program` (a name of the staging folder), when it was copied.
std::optional<Text> copied_from(const std::vector<frm다운로드::Copy>& copies, TextView program) {
    std::optional<Text> source;
    for (const frm다운로드::Copy& copy : copies) {
        const Text name = copy.destination.substr(copy.destination.find_last_of(u'\\') + 1);
        if (equals_ignore_case(name, program)) {
            source = copy.status == 0 ? std::optional<Text>(copy.source) : std::nullopt;
        }
    }
    return source;
}

// Whether two files hold the same bytes, read a piece at a time.
bool same_bytes(platform::File& a, platform::File& b) {
    std::vector<uint8_t> x(size_t{1} << 16);
    std::vector<uint8_t> y(x.size());
    for (;;) {
        const std::optional<size_t> n = a.read(x);
        if (!n) {
            return false;
        }
        size_t have = 0;
        while (have < *n) {
            const std::optional<size_t> m = b.read(std::span<uint8_t>(y.data() + have, *n - have));
            if (!m || *m == 0) {
                return false;
            }
            have += *m;
        }
        if (!std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(*n), y.begin())) {
            return false;
        }
        if (*n == 0) {
            uint8_t extra = 0;
            const std::optional<size_t> more = b.read(std::span<uint8_t>(&extra, 1));
            return more && *more == 0;
        }
    }
}

struct StagedProgram {
    TextView name;    // in the staging folder
    TextView path;    // what is started
    TextView message; // shown when it is missing
    int status;       // the exit status then
    const char* what; // "installer" or "updater"
};

constexpr StagedProgram kInstallerProgram{workstation::kInstallerName, workstation::kInstaller,
                                          kInstallerMissingMessage, exit_status::kInstallerMissing,
                                          "installer"};
constexpr StagedProgram kUpdaterProgram{workstation::kUpdaterName, workstation::kUpdater,
                                        kUpdaterMissingMessage, exit_status::kUpdaterMissing,
                                        "updater"};

// The staged program, held so that nobody may change it until it has started, once its
// bytes are found to be those of the file this run copied; the run ends with the missing
// program's status when it is not.
std::unique_ptr<platform::File> hold_staged(platform::Platform& p, platform::Folder& staging,
                                            const std::vector<frm다운로드::Copy>& copies,
                                            const StagedProgram& program) {
    const std::optional<Text> source = copied_from(copies, program.name);
    if (!source) {
        platform::end_run(p, program.message, program.status,
                          std::string("the ") + program.what +
                              " was not copied into the staging folder (the copy line above "
                              "says why); nothing is started");
    }
    std::unique_ptr<platform::File> staged =
        staging.open_file(program.name, platform::FileMode::Hold);
    const std::unique_ptr<platform::File> original =
        platform::PathFiles(p.files, p.log).open_file(*source, platform::FileMode::Read);
    if (!staged || !original || !same_bytes(*staged, *original)) {
        platform::end_run(p, program.message, program.status,
                          std::string("the ") + program.what + " in the staging folder is not " +
                              u8(*source) + " as this run copied it; it is not started");
    }
    return staged;
}

// Starts a program of the staging folder and waits on the process itself until it has
// ended. The run goes on whatever it ends with; a failing exit code is a fault of the run,
// and one that asks for a restart is passed on as the run's exit status.
void run_and_wait(platform::Platform& p, ProgramState& g, platform::Folder& staging,
                  const std::vector<frm다운로드::Copy>& copies, const StagedProgram& program) {
    const std::string what = program.what;
    std::unique_ptr<platform::File> held = hold_staged(p, staging, copies, program);
    log(p, "starting the " + what + " " + u8(program.path) + " (the file this run copied)");
    const std::unique_ptr<platform::Process> process =
        p.processes.start(program.path, platform::kShowNormalFocus, staging.path());
    held.reset();
    log(p, what + " started, process " + std::to_string(process->id()) + "; waiting for it");
    record_exit(p, g, what, process->wait_for_exit());
}

// Steps 9 to 16: the old resources and settings files go (kept first), the installer and
// updater are copied, the warning shown, and both programs run to their end.
installer::StagingFolder replace_programs(platform::Platform& p, ProgramState& g) {
    // First, before anything is deleted: the staging folder, made ready and emptied (a
    // folder someone else made is moved aside, never used), the suite's folders reached
    // without a link on the way, and the settings files that steps 10 and 17 delete or
    // replace kept. When any of it cannot be done, error 75 ends the run with nothing
    // deleted. The staging folder is held for the whole run.
    const Text stamp = installer::folder_stamp(platform::local_time_now());
    installer::StagingFolder staging = installer::prepare_staging_folder(p, stamp);
    {
        SuiteFolders suite = reach_suite_folders(p);
        g.kept_folder = installer::keep_settings_files(p, *staging.folder, suite.bin.get(), stamp);
        delete_old_files(p, g, suite);
    } // C:\Pelto_H is let go: the suite's installer reworks it as it pleases

    // Step 11: installer and updater into the staging folder (may end the process).
    log(p, "step 11: copying the installer and updater from the update path");
    const std::vector<frm다운로드::Copy> copies = frm다운로드::sG_ShowMe(p, g.gUpdatePath, 0);

    // Step 12: the warning window.
    log(p, "step 12: warning window shown");
    frm메세지::Show(p);
    log(p, "step 12: warning window closed");

    // Steps 13 to 16: both programs must be the files this run copied before either
    // starts; then the installer, then the updater, each run to its end.
    hold_staged(p, *staging.folder, copies, kInstallerProgram).reset();
    hold_staged(p, *staging.folder, copies, kUpdaterProgram).reset();
    run_and_wait(p, g, *staging.folder, copies, kInstallerProgram);
    run_and_wait(p, g, *staging.folder, copies, kUpdaterProgram);
    return staging;
}

// The Pelto.ini that the template's copy is about to replace, kept unless this run kept it
// as it is now: a file the run replaces is never lost, whatever the backup before the
// removals could or could not see.
void keep_before_replacing(platform::Platform& p, ProgramState& g, platform::Folder& staging) {
    const Text name(workstation::kSettingsFileName);
    const platform::ReachedFolder bin = mdl함수::reach_bin_folder(p);
    const std::unique_ptr<platform::File> now =
        bin.folder ? bin.folder->open_file(name, platform::FileMode::ReadOneName) : nullptr;
    const std::optional<std::string> bytes = now ? platform::read_all(*now) : std::nullopt;
    if (!bytes) {
        return; // nothing there to lose (or nothing the copy could replace as itself)
    }
    const platform::ReachedFolder kept =
        g.kept_folder.empty() ? platform::ReachedFolder{}
                              : platform::reach_folder(p.files, p.log, g.kept_folder);
    const std::unique_ptr<platform::File> copy =
        kept.folder ? kept.folder->open_file(name, platform::FileMode::ReadOneName) : nullptr;
    if (copy && platform::read_all(*copy) == bytes) {
        return;
    }
    const Text folder = installer::keep_settings_files(
        p, staging, bin.folder.get(), installer::folder_stamp(platform::local_time_now()));
    if (!folder.empty()) {
        g.kept_folder = folder;
    }
}

// After a template copy that failed: the Pelto.ini this run kept goes back into
// C:\Pelto_H\bin, so that step 18 writes its keys into the workstation's own file with
// every other section, not into a new file that holds only theirs.
void put_back_settings_file(platform::Platform& p, ProgramState& g) {
    const Text name(workstation::kSettingsFileName);
    const platform::ReachedFolder kept =
        g.kept_folder.empty() ? platform::ReachedFolder{}
                              : platform::reach_folder(p.files, p.log, g.kept_folder);
    const std::unique_ptr<platform::File> file =
        kept.folder ? kept.folder->open_file(name, platform::FileMode::ReadOneName) : nullptr;
    const std::optional<std::string> bytes = file ? platform::read_all(*file) : std::nullopt;
    if (!bytes) {
        log(p, "step 17: no Pelto.ini was kept by this run; there is none to put back");
        return;
    }
    const platform::ReachedFolder bin = mdl함수::reach_bin_folder(p);
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes->data()),
                                        bytes->size());
    if (bin.folder && bin.folder->replace_file(name, data, platform::attr::kNormal)) {
        log(p, "step 17: the Pelto.ini kept in " + u8(g.kept_folder) +
                   " is put back, so that its other sections stay");
    } else {
        log(p, "step 17: the Pelto.ini kept in " + u8(g.kept_folder) + " could not be put back");
        g.faults.push_back("the Pelto.ini kept in " + u8(g.kept_folder) + " could not be put back");
    }
}

// Steps 17 to 20: the settings file, the institution server's test and the policy values.
void configure_workstation(platform::Platform& p, ProgramState& g,
                           installer::StagingFolder& staging) {
    // Step 17: the settings-file template, which replaces Pelto.ini: kept first, whatever
    // became of the folder since the backup (error 75 stops the run here).
    keep_before_replacing(p, g, *staging.folder);
    log(p, "step 17: copying the settings-file template");
    const std::vector<frm다운로드::Copy> copies = frm다운로드::sG_ShowMe(p, g.gUpdatePath, 1);
    if (copies.empty() || copies.back().status != 0) {
        // Step 18 would otherwise write its keys into a file that lost every other section.
        g.faults.push_back(
            copies.empty()
                ? std::string("the settings-file template was not copied (see the line above)")
                : "the settings-file template " + u8(copies.back().source) +
                      " was not copied (status " + std::to_string(copies.back().status) + ")");
        put_back_settings_file(p, g);
    }

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
    // Walked to again from the drive's root, and held while the file is replaced.
    const platform::ReachedFolder bin = mdl함수::reach_bin_folder(p);
    if (!bin.folder) {
        log(p,
            platform::profile_not_written(kSettingsSection, keys, file, platform::reach_text(bin)));
    }
    if (bin.folder && p.profiles.write_private_profile_strings(
                          *bin.folder, workstation::kSettingsFileName, kSettingsSection, keys)) {
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
        write_value(p, g.faults, kAliasKey, g.gSQLName,
                    Variant(u"DBNMPNTW,\\\\" + g.gSQLName + u"\\pipe\\sql\\query"), kText);
    } else {
        log(p, "step 19: institution server reached; no alias written");
    }

    // Step 20: the user-account-control policy values.
    log(p, "step 20: writing the policy values");
    for (const PolicyValue& v : kPolicyValues) {
        write_value(p, g.faults, kPolicyKey, Text(v.name), Variant(v.value), kNumber);
    }
}

} // namespace

int Main(platform::Platform& p, ProgramState& g, const installer::RunOptions& options) {
    log(p, "installation run started");

    // Steps 1 and 2: client aliases of the two central servers, the second on port 4181.
    const Text server1(kCentralServer1);
    const Text server2(kCentralServer2);
    log(p, "step 1: alias for the first central server " + u8(server1));
    write_value(p, g.faults, kAliasKey, server1, Variant(u"DBMSSOCN," + server1), kText);
    log(p, "step 2: alias for the second central server " + u8(server2));
    write_value(p, g.faults, kAliasKey, server2,
                Variant(u"DBMSSOCN," + server2 + Text(kCentralPort)), kText);

    if (const std::optional<int> stopped = look_up_institution(p, g, options)) {
        return *stopped;
    }
    check_update_path(p, g);
    installer::StagingFolder staging = replace_programs(p, g);
    configure_workstation(p, g, staging);

    // Step 21: the message stays the same; the exit status and the log tell what failed.
    const auto [status, reason] = completed_status(g);
    p.ui.message_box(kCompletedMessage, platform::MessageIcon::Information, workstation::kAppTitle);
    log(p, "run ended (exit status " + std::to_string(status) + "): " + reason);
    return status;
}

} // namespace pelto::mdl시작
