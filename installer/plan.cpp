#include "installer/plan.h"

#include "core/error.h"
#include "core/exit_status.h"
#include "core/workstation.h"
#include "db/ado/recordset.h"
#include "installer/mdl_start.h"
#include "installer/restore.h"
#include "installer/run.h"
#include "platform/overlay/overlay_services.h"

#include <iostream>
#include <string>

namespace pelto::installer {

namespace {

using platform::overlay::PlanEvent;
using Kind = PlanEvent::Kind;

// The tree the run removes as a whole: the plan counts it instead of naming each file.
constexpr TextView kPolicyKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
// The settings key whose value is a password: never shown.
constexpr TextView kPasswordKey = u"server_pwd";

std::string u8(TextView text) {
    return to_utf8(text);
}

bool below(TextView path, TextView folder) {
    return equals_ignore_case(path, folder) ||
           (path.size() > folder.size() && path[folder.size()] == u'\\' &&
            equals_ignore_case(path.substr(0, folder.size()), folder));
}

std::string bytes(uint64_t size) {
    return std::to_string(size) + (size == 1 ? " byte" : " bytes");
}

// The report, section by section; a section without lines is left out.
class Report {
public:
    void section(const std::string& heading) {
        flush();
        heading_ = heading;
    }
    void line(const std::string& text) { lines_.push_back("  " + text); }
    std::string text() {
        flush();
        return out_;
    }
    void add(const std::string& text) { out_ += text + "\n"; }

private:
    void flush() {
        if (!lines_.empty()) {
            out_ += "\n" + heading_ + "\n";
            for (const std::string& l : lines_) {
                out_ += l + "\n";
            }
        }
        lines_.clear();
    }
    std::string out_;
    std::string heading_;
    std::vector<std::string> lines_;
};

std::string shown_value(const std::optional<Text>& value) {
    return value ? u8(*value) : "(none)";
}

void registry_section(Report& r, const std::vector<PlanEvent>& events) {
    r.section("[레지스트리 / Registry] HKEY_LOCAL_MACHINE");
    int policy_unchanged = 0;
    std::vector<std::string> policy_changes;
    for (const PlanEvent& e : events) {
        if (e.kind != Kind::RegistryWrite) {
            continue;
        }
        const bool unchanged = e.before && *e.before == e.after;
        if (equals_ignore_case(e.subject, kPolicyKey)) {
            if (unchanged) {
                ++policy_unchanged;
            } else {
                policy_changes.push_back(u8(e.name) + ": " + shown_value(e.before) + " -> " +
                                         u8(e.after));
            }
            continue;
        }
        r.line(u8(e.subject) + "\\" + u8(e.name) + ": " +
               (unchanged ? u8(e.after) + " (unchanged)"
                          : shown_value(e.before) + " -> " + u8(e.after)));
    }
    if (!policy_changes.empty() || policy_unchanged > 0) {
        r.line(u8(kPolicyKey) + ": " + std::to_string(policy_changes.size()) +
               " value(s) would change, " + std::to_string(policy_unchanged) + " unchanged");
        for (const std::string& change : policy_changes) {
            r.line("  " + change);
        }
    }
}

void institution_section(Report& r, const mdl시작::ProgramState& g, int exit_status) {
    const std::shared_ptr<ado::Recordset>& rs = g.institution_rows;
    if (!rs || rs->State() != ado::adStateOpen) {
        return;
    }
    r.section("[기관 / Institution] " + u8(g.gSQL));
    if (rs->RecordCount() <= 0) {
        r.line("no row for the code");
        return;
    }
    r.line(std::to_string(rs->RecordCount()) + " row(s); the first is used");
    for (int32_t i = 0; i < rs->FieldsCount(); ++i) {
        ado::Field& field = rs->Fields(i);
        if (equals_ignore_case(field.Name(), u"SQLPW")) {
            continue;
        }
        const Variant value = field.Value();
        r.line(u8(field.Name()) + " = " +
               (value.is_null() ? std::string("(null)") : u8(value.to_text())));
    }
    if (!g.gSQLPW.empty()) {
        r.line("SQLPW: the password deciphers");
    } else if (!g.gMainDB.empty() || exit_status != exit_status::kUnhandledError) {
        r.line("SQLPW: deciphers to blanks with both key texts (server_pwd would be empty)");
    } else {
        r.line("SQLPW: cannot be read or deciphered (see the end)");
    }
}

void update_path_section(Report& r, const mdl시작::ProgramState& g,
                         const std::vector<PlanEvent>& events, int exit_status) {
    if (g.gUpdatePath.empty()) {
        return;
    }
    r.section("[업데이트 경로 / Update path] " + u8(g.gUpdatePath));
    if (!g.update_path_checked) {
        r.line("not looked at: the run would end before it (see the end)");
        return;
    }
    if (!g.update_path_usable) {
        r.line("does not serve the run: nothing would be removed (see the end)");
        return;
    }
    std::string taken;
    for (const PlanEvent& e : events) {
        if (e.kind == Kind::Copied && !below(e.after, workstation::kSuiteFolder)) {
            taken += (taken.empty() ? "" : ", ") +
                     u8(e.subject.substr(e.subject.find_last_of(u'\\') + 1));
        }
    }
    r.line("passes the check before anything is removed" +
           (taken.empty() ? std::string() : "; the run would take " + taken));
    if (exit_status == exit_status::kUpdatePathUnusable ||
        exit_status == exit_status::kInstallerMissing ||
        exit_status == exit_status::kUpdaterMissing) {
        r.line("but the copy after the removals would not give the run its programs (see the end)");
    }
}

void files_sections(Report& r, const std::vector<PlanEvent>& events, bool restore) {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t total = 0;
    bool resource = false;
    r.section("[삭제 / Deleted]");
    for (const PlanEvent& e : events) {
        const bool removal = e.kind == Kind::FileDeleted || e.kind == Kind::FolderRemoved ||
                             e.kind == Kind::LinkRemoved;
        if (!removal) {
            continue;
        }
        if (below(e.subject, workstation::kResourceFolder)) {
            resource = true;
            (e.kind == Kind::FolderRemoved ? folders : files) += 1;
            total += e.size;
            continue;
        }
        r.line(u8(e.subject) + (e.kind == Kind::FileDeleted   ? " (" + bytes(e.size) + ")"
                                : e.kind == Kind::LinkRemoved ? " (a link; what it names stays)"
                                                              : " (folder)"));
    }
    if (resource) {
        r.line(u8(workstation::kResourceFolder) +
               " with everything in it: " + std::to_string(files) + " file(s) and link(s), " +
               std::to_string(folders) + " folder(s), " + bytes(total));
    }
    r.section("[폴더 / Folders]");
    for (const PlanEvent& e : events) {
        if (e.kind == Kind::FolderMade) {
            r.line("made: " + u8(e.subject) + " (" + u8(e.after) + ")");
        } else if (e.kind == Kind::Moved) {
            r.line("moved aside, whole (not made by this program): " + u8(e.subject) + " -> " +
                   u8(e.after));
        }
    }
    r.section("[보관 / Kept]");
    for (const PlanEvent& e : events) {
        if (e.kind == Kind::FileKept) {
            r.line(u8(e.subject) + " (" + bytes(e.size) + ")");
        }
    }
    r.section("[복사 / Copied]");
    for (const PlanEvent& e : events) {
        if (e.kind == Kind::Copied) {
            r.line(u8(e.subject) + " -> " + u8(e.after) + " (" + bytes(e.size) + ", " +
                   (e.replaced ? "replaces the file there" : "new") + ")");
        }
    }
    r.section("[되돌림 / Put back]");
    for (const PlanEvent& e : events) {
        // A run's settings file is shown by its keys, in their own section.
        if (e.kind == Kind::FileReplaced &&
            (restore || !equals_ignore_case(e.subject, workstation::kSettingsFile))) {
            r.line(u8(e.subject) + " (" + bytes(e.size) + ", " +
                   (e.replaced ? "replaces the file there" : "new") + ")");
        }
    }
}

void programs_section(Report& r, const std::vector<PlanEvent>& events) {
    r.section("[실행 / Started, in this order]");
    int n = 0;
    for (const PlanEvent& e : events) {
        if (e.kind == Kind::NotStarted) {
            r.line(std::to_string(n + 1) + ". " + u8(e.subject) + ": cannot be started (" +
                   u8(e.after) + "); the run would end here with the generic error message");
        }
        if (e.kind == Kind::Started) {
            ++n;
            r.line(std::to_string(n) + ". " + u8(e.subject) +
                   (n == 1 ? ": what it does itself cannot be foreseen; the plan goes on as if it "
                             "completed and made C:\\Pelto_H\\bin"
                           : ""));
        }
    }
}

void settings_section(Report& r, const std::vector<PlanEvent>& events) {
    r.section("[설정 파일 / Settings file]");
    for (const PlanEvent& e : events) {
        if (e.kind != Kind::SettingWritten) {
            continue;
        }
        const bool secret = ends_with(to_upper(e.name), to_upper(kPasswordKey));
        const std::string before = !e.before ? "(none)"
                                   : secret  ? "********"
                                             : "'" + u8(*e.before) + "'";
        const std::string after = secret ? "********" : "'" + u8(e.after) + "'";
        r.line(u8(e.subject) + " " + u8(e.name) + ": today " + before + " -> " + after);
    }
}

void server_section(Report& r, const mdl시작::ProgramState& g) {
    if (!g.institution_server_tested) {
        return;
    }
    r.section("[기관 서버 / Institution server] " + u8(g.gSQLName) + " (tested for real)");
    if (const std::optional<Error>& failure = g.institution_server_failure) {
        std::string why = "error " + std::to_string(failure->number);
        if (!failure->sql_state.empty()) {
            why += ", SQLSTATE " + u8(failure->sql_state);
        }
        r.line("not reachable (" + why + ": " + u8(failure->description) +
               "): the run would write its named-pipe alias (see Registry)");
    } else {
        r.line("reached: no alias is written for it");
    }
}

void messages_section(Report& r, const std::vector<PlanEvent>& events) {
    r.section("[메시지 / What the run would show]");
    for (const PlanEvent& e : events) {
        if (e.kind == Kind::Message) {
            r.line("\"" + u8(e.subject) + "\"");
        } else if (e.kind == Kind::WarningShown) {
            r.line("the warning window \"" + u8(e.subject) + "\"");
        }
    }
}

void kept_sets_section(Report& r, const RestoreFindings& found) {
    r.section("[보관된 설정 / Kept sets, newest first]");
    for (const KeptSetSummary& set : found.sets) {
        std::string files;
        for (const KeptSetSummary::File& file : set.files) {
            files += (files.empty() ? "" : ", ") + u8(file.name) + " (" + bytes(file.size) + ")";
        }
        r.line(u8(set.folder) + ": " + (files.empty() ? std::string("no file") : files) +
               (set.skipped.empty() ? std::string() : "; passed over: " + set.skipped));
    }
    r.section("[복원 원본 / Restored from]");
    r.line(found.source.empty() ? std::string("nothing: no kept set may be restored")
                                : u8(found.source));
}

void end_section(Report& r, const mdl시작::ProgramState& g, int exit_status, bool restore) {
    r.section("[종료 / End]");
    for (const std::string& fault : g.faults) {
        r.line("fault: " + fault);
    }
    r.line("the " + std::string(restore ? "restore" : "run") + " would end with exit status " +
           std::to_string(exit_status) +
           (restore ? std::string()
                    : " (assuming the installer and the updater each end with exit code 0: "
                      "another code gives 16, and 3010 or 1641 is passed on)"));
    if (!restore) {
        r.line("registry and policy values are kept nowhere: a later /RESTORE puts back only the "
               "settings files");
    }
}

} // namespace

Text plan_report(const platform::overlay::PlanRecord& record, const mdl시작::ProgramState& g,
                 int exit_status, const RestoreFindings* restore) {
    const std::vector<PlanEvent>& events = record.events();
    Report r;
    r.add(std::string("PeltoUserInstall_H /PLAN: ") +
          (restore != nullptr
               ? "이 PC에서 복원이 할 일 / what the restore would do on this workstation"
               : "이 PC에서 설치가 할 일 / what the run would do on this workstation"));
    r.add("Nothing has been changed and nothing started.");
    registry_section(r, events);
    institution_section(r, g, exit_status);
    update_path_section(r, g, events, exit_status);
    if (restore != nullptr) {
        kept_sets_section(r, *restore);
    }
    files_sections(r, events, restore != nullptr);
    programs_section(r, events);
    settings_section(r, events);
    server_section(r, g);
    messages_section(r, events);
    end_section(r, g, exit_status, restore != nullptr);
    return from_utf8(r.text());
}

int run_plan(platform::Platform& p, const RunOptions& options) {
    platform::overlay::PlanPlatform plan(p);
    // The suite's installer makes its program folder; the plan cannot run it to see.
    plan.processes().assume_after(workstation::kInstallerName, workstation::kBinFolder);
    p.log.write("a plan is made: nothing on the workstation is changed and nothing is started");
    mdl시작::ProgramState g;
    const bool restore = options.restore.has_value();
    RestoreFindings found;
    const int status = run_to_end(plan.platform(), [&] {
        if (restore) {
            return restore_settings(plan.platform(), *options.restore, &found);
        }
        return mdl시작::Main(plan.platform(), g, options);
    });
    const Text report = plan_report(plan.record(), g, status, restore ? &found : nullptr);
    const std::string text = to_utf8(report);
    std::cout << text << std::flush;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty()) {
            p.log.write("plan: " + line);
        }
        start = end == std::string::npos ? text.size() : end + 1;
    }
    p.ui.show_report(report, workstation::kAppTitle);
    return status;
}

} // namespace pelto::installer
