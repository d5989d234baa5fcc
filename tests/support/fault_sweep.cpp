#include "tests/support/fault_sweep.h"

#include "core/text.h"
#include "platform/profile_rules.h"

#include <gtest/gtest.h>

namespace pelto::testing {

void PrintTo(const FileState& file, std::ostream* out) {
    *out << "attributes " << file.attributes << ", \"" << file.bytes << "\"";
}

std::multiset<std::string> registry_values(const std::vector<std::string>& lines) {
    std::multiset<std::string> out;
    for (const std::string& line : lines) {
        if (!line.empty() && line.find("DBNMPNTW") == std::string::npos) {
            out.insert(line);
        }
    }
    return out;
}

installer::RunOptions silent_install(const char* code) {
    installer::RunOptions options;
    options.code = from_utf8(code);
    options.silent = true;
    return options;
}

installer::RunOptions silent_restore() {
    installer::RunOptions options;
    options.restore = Text();
    options.silent = true;
    return options;
}

namespace {

bool is_documented(int status) {
    static const std::set<int> kTable{0,  3010, 1641, 194, 105, 10, 11, 12, 13,
                                      14, 15,   16,   17,  20,  21, 22, 23, 24};
    return kTable.count(status) != 0;
}

bool completed(int status) {
    return status == 0 || status == 3010 || status == 1641 || status == 194 || status == 105;
}

// The ways Pelto.ini may be left by a run that stopped anywhere: as it was, gone (step 10),
// the template (step 17), the template with the keys (a completed run), or the file as it
// was with the keys (a template that could not be copied).
std::set<std::string> whole_settings_files(const std::string& before, const std::string& after,
                                           const std::string& template_bytes) {
    std::set<std::string> out{before, after, template_bytes};
    std::vector<platform::ProfileEntry> keys;
    for (const char16_t* key : {u"server_name", u"server_id", u"server_pwd", u"database_name"}) {
        keys.push_back(
            {key, platform::read_profile_value(after, u"Database Server", key).value_or(Text())});
    }
    const platform::ProfileEdit edit = platform::edit_profile(before, u"Database Server", keys);
    if (edit.bytes) {
        out.insert(*edit.bytes);
    }
    return out;
}

// A kept copy of `file` with its bytes and attributes, in some set below 보관.
bool kept(SweepMachine& machine, const std::string& name, const FileState& file) {
    for (const Files& set : machine.kept_sets()) {
        if (const auto it = set.find(name); it != set.end() && it->second == file) {
            return true;
        }
    }
    return false;
}

// The exit status, the machine it leaves, the log's last word, no password shown.
void check_outcome(const SweepRules& rules, const EndState& clean, const RunOutcome& faulty,
                   const std::string& at) {
    const int status = faulty.end.status;
    EXPECT_TRUE(is_documented(status)) << at << ": exit status " << status;
    if (completed(status)) {
        EXPECT_EQ(faulty.end.registry, clean.registry) << at << ": completed, registry differs";
        EXPECT_EQ(faulty.end.bin, clean.bin) << at << ": completed, bin differs";
        EXPECT_EQ(faulty.end.staged, clean.staged) << at << ": completed, staged programs differ";
    } else {
        EXPECT_NE(faulty.shown.find("run ended (exit status " + std::to_string(status)),
                  std::string::npos)
            << at << ": the log's last word on the run";
    }
    for (const std::string& password : rules.passwords) {
        EXPECT_EQ(faulty.shown.find(password), std::string::npos) << at << ": a password shown";
    }
}

// Every settings file that changed is kept, and /RESTORE puts it back. (The suite's
// installer rewrites its own programs in bin: they are not the run's to keep.)
void check_kept_and_restored(SweepMachine& machine, const SweepRules& rules, const EndState& before,
                             const EndState& now, const std::string& at) {
    bool changed = false;
    for (const auto& [name, file] : before.bin) {
        if (rules.suite_programs.count(name) != 0) {
            continue;
        }
        const auto left = now.bin.find(name);
        if (left == now.bin.end() || !(left->second == file)) {
            changed = true;
            EXPECT_TRUE(kept(machine, name, file))
                << at << ": " << name << " changed and is not kept";
        }
    }
    if (!changed) {
        return;
    }
    const RunOutcome restored = machine.run(silent_restore(), 0);
    for (const auto& [name, file] : before.bin) {
        if (rules.suite_programs.count(name) != 0) {
            continue;
        }
        const auto back = restored.end.bin.find(name);
        EXPECT_TRUE(back != restored.end.bin.end() && back->second == file)
            << at << ": /RESTORE did not put " << name << " back";
    }
}

// Whether `files` holds a file `name` with exactly `bytes`.
bool holds(const Files& files, const std::string& name, const std::string& bytes) {
    const auto it = files.find(name);
    return it != files.end() && it->second.bytes == bytes;
}

// Nothing half written: every file of bin (but the suite's programs) and of the staging
// folder holds the bytes it had before the run or those a clean run leaves there;
// Pelto.ini one of the whole files a run may leave.
void check_whole_files(const SweepRules& rules, const SweepReference& reference,
                       const EndState& now, const std::string& at) {
    const EndState& before = reference.before;
    const EndState& clean = reference.clean.end;
    const std::set<std::string> settings = whole_settings_files(
        before.bin.at("Pelto.ini").bytes, clean.bin.at("Pelto.ini").bytes, rules.template_bytes);
    for (const auto& [name, file] : now.bin) {
        // The suite's installer and updater write these as they please, one without the
        // other when the run stopped between them.
        if (rules.suite_programs.count(name) != 0) {
            continue;
        }
        const bool whole = name == "Pelto.ini" ? settings.count(file.bytes) != 0
                                               : holds(before.bin, name, file.bytes) ||
                                                     holds(clean.bin, name, file.bytes);
        EXPECT_TRUE(whole) << at << ": " << name << " in bin is half written";
    }
    for (const auto& [name, file] : now.staged) {
        EXPECT_TRUE(holds(before.staged, name, file.bytes) || holds(clean.staged, name, file.bytes))
            << at << ": " << name << " in the staging folder is half written";
    }
}

// The checks after the run whose call `k` failed.
void check_faulty_run(SweepMachine& machine, const SweepRules& rules,
                      const SweepReference& reference, const RunOutcome& faulty, size_t k) {
    const std::string at = "fault at call " + std::to_string(k) + " (" + faulty.failed + ")";
    const EndState& clean = reference.clean.end;
    check_outcome(rules, clean, faulty, at);
    check_whole_files(rules, reference, faulty.end, at);
    machine.check_own(at);
    check_kept_and_restored(machine, rules, reference.before, faulty.end, at);
    // Then a run without faults ends as a clean run does.
    const RunOutcome again = machine.run(rules.install, 0);
    EXPECT_EQ(again.end.status, clean.status) << at << ": the next run";
    EXPECT_EQ(again.end.registry, clean.registry) << at << ": the next run's registry";
    EXPECT_EQ(again.end.bin, clean.bin) << at << ": the next run's bin";
}

} // namespace

SweepReference clean_reference(SweepMachine& machine, const SweepRules& rules) {
    SweepReference out;
    machine.reset();
    out.before = machine.end_state(0);
    out.clean = machine.run(rules.install, 0);
    return out;
}

size_t sweep_calls(SweepMachine& machine, const SweepRules& rules, const SweepReference& reference,
                   size_t first, size_t last) {
    size_t swept = 0;
    for (size_t k = first; k <= last && !::testing::Test::HasFailure(); ++k) {
        machine.reset();
        const RunOutcome faulty = machine.run(rules.install, k);
        ++swept;
        if (faulty.failed.empty()) {
            ADD_FAILURE() << "call " << k << " of " << reference.clean.calls
                          << " was not made: the run is not deterministic";
            break;
        }
        check_faulty_run(machine, rules, reference, faulty, k);
    }
    return swept;
}

} // namespace pelto::testing
