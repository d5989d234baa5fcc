// The real program end to end, on demo machine roots built for each test: every way a
// run can end, the password rule with both key texts, the typed code as typed, the
// waits, and the registry and settings file byte for byte afterwards.
#include "core/exit_status.h"
#include "platform/portable/registry_store.h"
#include "tests/e2e/run_program.h"
#include "tests/support/demo_machine.h"
#include "tests/support/temp_machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace pelto::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kCentral1 = testing::kCentral1;
const std::string kCentral2 = testing::kCentral2;
const std::string kCaption = "[PeltoUserInstall] ";
const std::string kPrompt = kCaption + "요양기관기호를 입력해주세요.";
const std::string kCompleted = kCaption + "설치가 완료 되었습니다.";
const std::string kConnectTo = "HKLM\\SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo";
const std::string kPolicies =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// One registry value as tests/e2e/expected/completed-run.registry gives it.
struct RegValue {
    std::string key; // HKLM\...
    std::string name;
    std::string type; // REG_SZ or REG_DWORD
    std::string data; // a number as 0x...
};

// What every completed run writes, in writing order; the Windows end-to-end run checks
// the same values.
const std::vector<RegValue>& completed_run_values() {
    static const std::vector<RegValue> values = [] {
        std::vector<RegValue> out;
        std::ifstream in(PELTO_EXPECTED_REGISTRY);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') {
                continue;
            }
            std::istringstream fields(line);
            RegValue v;
            std::getline(fields, v.key, '\t');
            std::getline(fields, v.name, '\t');
            std::getline(fields, v.type, '\t');
            if (!std::getline(fields, v.data) || (v.type != "REG_SZ" && v.type != "REG_DWORD")) {
                ADD_FAILURE() << "not key, name, type and data: " << line;
            }
            out.push_back(v);
        }
        if (out.empty()) {
            ADD_FAILURE() << "no values in " << PELTO_EXPECTED_REGISTRY;
        }
        return out;
    }();
    return values;
}

std::vector<RegValue> values_of(const std::string& key) {
    std::vector<RegValue> out;
    std::ranges::copy_if(completed_run_values(), std::back_inserter(out),
                         [&](const RegValue& v) { return v.key == key; });
    return out;
}

// A key's heading in a .reg file.
std::string reg_section(const std::string& key) {
    return "[HKEY_LOCAL_MACHINE" + key.substr(key.find('\\')) + "]\r\n";
}

// A value's line in a .reg file: a text quoted, its backslashes and quotes escaped; a
// number as eight hexadecimal digits.
std::string reg_line(const RegValue& v) {
    const auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (const char c : text) {
            if (c == '\\' || c == '"') {
                out += '\\';
            }
            out += c;
        }
        return out + '"';
    };
    if (v.type == "REG_DWORD") {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08lx", std::stoul(v.data, nullptr, 16));
        return quoted(v.name) + "=dword:" + digits + "\r\n";
    }
    return quoted(v.name) + "=" + quoted(v.data) + "\r\n";
}

// The two central aliases written over and after the outdated one.
std::string alias_lines() {
    std::string lines;
    for (const RegValue& v : values_of(kConnectTo)) {
        lines += reg_line(v);
    }
    return lines;
}

// The demo machine's registry after a run wrote `written`, as its .reg file then holds
// it: a value the key had keeps its place and takes the data written, a new one follows
// the key's others.
std::string registry_after(const std::vector<RegValue>& written) {
    // The keys as scripts/make-demo-machine.sh makes them: an outdated alias of the first
    // central server, a policy value the run overwrites and one it never touches.
    std::vector<std::pair<std::string, std::vector<RegValue>>> keys{
        {kConnectTo, {{kConnectTo, kCentral1, "REG_SZ", "DBMSSOCN,10.0.0.1"}}},
        {kPolicies,
         {{kPolicies, "EnableLUA", "REG_DWORD", "0x0"},
          {kPolicies, "legalnoticecaption", "REG_SZ", ""}}}};
    for (const RegValue& v : written) {
        const auto key = std::ranges::find(keys, v.key, [](const auto& k) { return k.first; });
        if (key == keys.end()) {
            ADD_FAILURE() << "the demo machine has no key " << v.key;
            continue;
        }
        const auto value = std::ranges::find(key->second, v.name, &RegValue::name);
        if (value != key->second.end()) {
            *value = v;
        } else {
            key->second.push_back(v);
        }
    }
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    for (const auto& [key, values] : keys) {
        text += "\r\n" + reg_section(key);
        for (const RegValue& v : values) {
            text += reg_line(v);
        }
    }
    return text;
}

// The registry after a run that stopped before the policy values.
std::string registry_with_aliases_only() {
    return registry_after(values_of(kConnectTo));
}

// The registry after a completed run; `more_aliases` are written after the central ones.
std::string registry_completed(const std::vector<RegValue>& more_aliases = {}) {
    std::vector<RegValue> written = completed_run_values();
    written.insert(written.end(), more_aliases.begin(), more_aliases.end());
    return registry_after(written);
}

// The template with its database section filled, in code page 949.
std::string settings_file(const std::string& name, const std::string& id, const std::string& pwd,
                          const std::string& db) {
    return cp949("; 펠토 클리닉 설정 파일\r\n[Pelto]\r\nVersion=5.2\r\nLanguage=한국어\r\n\r\n"
                 "[Database Server]\r\nserver_name=" +
                 name + "\r\nserver_id=" + id + "\r\nserver_pwd=" + pwd +
                 "\r\ndatabase_name=" + db + "\r\n\r\n[Print]\r\nPrinter=기본 프린터\r\n");
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Workstation : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) {
            machine_.keep();
        }
    }

    Outcome run_with(const std::string& input,
                     std::map<std::string, std::optional<std::string>> env = {},
                     const std::vector<std::string>& arguments = {}) {
        env["PELTO_MACHINE_ROOT"] = root_.string();
        env.emplace("PELTO_DEMO_INSTALLER_SECONDS", std::nullopt);
        env.emplace("PELTO_DEMO_INSTALLER_EXIT", std::nullopt);
        return run(testing::kProgram, input, env, 120, arguments);
    }
    // The dated folders that keep removed settings files, oldest first.
    std::vector<fs::path> dated_folders() const {
        std::vector<fs::path> folders;
        const fs::path backups = c("펠토사용자설치/보관");
        if (!fs::is_directory(backups)) {
            return folders;
        }
        for (const auto& entry : fs::directory_iterator(backups)) {
            const std::string name = entry.path().filename().string();
            if (name.size() >= 15 && name[8] == '-' && std::isdigit(name[0]) != 0) {
                folders.push_back(entry.path());
            }
        }
        std::sort(folders.begin(), folders.end());
        return folders;
    }
    std::map<std::string, std::string> snapshot() const { return machine_.snapshot(); }
    fs::path c(const std::string& relative) const { return machine_.c(relative); }
    std::string registry() const { return machine_.registry(); }
    std::string log() const { return machine_.log(); }
    std::string settings() const { return machine_.settings(); }
    // What the earlier installation left, which the run removes in steps 9 and 10.
    bool old_installation_untouched() const {
        return fs::exists(c("Pelto_H/Resource/skin.dat")) &&
               fs::exists(c("Pelto_H/Resource/images/logo.bmp")) &&
               fs::exists(c("Pelto_H/bin/Pelto.ini")) && fs::exists(c("Pelto_H/bin/Print.ini"));
    }

    testing::DemoMachine machine_{std::string("e2e-") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const fs::path& root_ = machine_.root();
};

// ---- runs that complete ----------------------------------------------------------------

TEST_F(Workstation, FirstKeyPasswordCompletesTheRunWithEverythingWrittenByteForByte) {
    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kPrompt));
    EXPECT_TRUE(has(o.out, "== 경고 =="));
    EXPECT_TRUE(has(o.out, "※ 설치 도중 위와같은 메세지가 나올경우 \"아니오\"를 눌러주세요"));
    EXPECT_TRUE(has(o.out, kCompleted + "\n"));
    // The dialogs come in the run's order.
    EXPECT_LT(o.out.find(kPrompt), o.out.find("== 경고 =="));
    EXPECT_LT(o.out.find("== 경고 =="), o.out.find("[펠토 설치]"));
    EXPECT_LT(o.out.find("[펠토 설치]"), o.out.find("[펠토 업데이트]"));
    EXPECT_LT(o.out.find("[펠토 업데이트]"), o.out.find(kCompleted));

    // The institution server accepted the login: no alias for it.
    EXPECT_EQ(registry(), registry_completed());
    EXPECT_EQ(settings(), settings_file("127.0.0.21", "pelto", "Clinic#2024", "PeltoDB"));

    // The old resources went; what the installer made is there; other settings files
    // went, a name ending in upper-case INI stayed.
    EXPECT_FALSE(fs::exists(c("Pelto_H/Resource/skin.dat")));
    EXPECT_FALSE(fs::exists(c("Pelto_H/Resource/images")));
    EXPECT_TRUE(fs::exists(c("Pelto_H/Resource/logo.bmp")));
    EXPECT_FALSE(fs::exists(c("Pelto_H/bin/Print.ini")));
    EXPECT_TRUE(fs::exists(c("Pelto_H/bin/README.INI")));
    EXPECT_EQ(read_file(c("Pelto_H/bin/Pelto_H.exe")), "Pelto_H 5.2.1\n");
    // The staging folder holds the two programs, still executable; nothing else.
    EXPECT_EQ(fs::status(c("펠토사용자설치/installpelto_H.exe")).permissions(), fs::perms(0755));
    EXPECT_TRUE(fs::exists(c("펠토사용자설치/PeltoUpdate_H.exe")));
    EXPECT_FALSE(fs::exists(c("펠토사용자설치/readme.txt")));
    EXPECT_FALSE(fs::exists(c("펠토사용자설치/Pelto.ini")));

    // The run log tells the story without a password.
    const std::string text = log();
    EXPECT_TRUE(has(text, "installer ended with exit code 0"));
    EXPECT_TRUE(has(text, "updater ended with exit code 0"));
    EXPECT_TRUE(has(text, "run ended (exit status 0): installation completed"));
    EXPECT_FALSE(has(text, "Clinic#2024"));
    EXPECT_FALSE(has(text, "$63TirMox47@$"));
}

TEST_F(Workstation, SecondKeyPasswordIsUsedWhenTheFirstYieldsBlanks) {
    const Outcome o = run_with("22222222\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_EQ(settings(), settings_file("127.0.0.22", "pelto2", "두번째-Key!", "PeltoDB"));
    EXPECT_EQ(registry(), registry_completed());
    EXPECT_FALSE(has(log(), "두번째-Key!"));
}

TEST_F(Workstation, BlanksUnderBothKeysGiveAnEmptyPasswordAndTheServerIsTriedWithIt) {
    const Outcome o = run_with("44444444\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_EQ(settings(), settings_file("127.0.0.24", "nopw", "", "PeltoDB"));
    // That server accepts its login without a password: no alias.
    EXPECT_EQ(registry(), registry_completed());
}

TEST_F(Workstation, RefusedInstitutionServerGetsANamedPipeAliasAndTheRunCompletes) {
    const Outcome o = run_with("33333333\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCompleted));
    EXPECT_EQ(registry(), registry_completed({{kConnectTo, "127.0.0.23", "REG_SZ",
                                               R"(DBNMPNTW,\\127.0.0.23\pipe\sql\query)"}}));
    class NoLog final : public platform::RunLog {
    public:
        void write(std::string_view) override {}
    } no_log;
    const platform::portable::PortableRegistry store(root_ / "registry" / "HKEY_LOCAL_MACHINE.reg",
                                                     no_log);
    EXPECT_EQ(
        store.read_string(u"SOFTWARE\\Microsoft\\MSSQLServer\\Client\\ConnectTo", u"127.0.0.23"),
        std::optional<Text>(u"DBNMPNTW,\\\\127.0.0.23\\pipe\\sql\\query"));
    EXPECT_EQ(settings(), settings_file("127.0.0.23", "pelto", "not-the-password", "PeltoDB"));
    EXPECT_TRUE(has(log(), "institution server not reachable"));
}

TEST_F(Workstation, TheCodeIsLookedUpAsTypedWithSpacesAndQuotes) {
    // Stored with spaces around it: found only when typed with them.
    Outcome o = run_with(" 66666666 \n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    // A quote is part of the code, not of the statement.
    o = run_with("12'34\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_EQ(settings(), settings_file("127.0.0.21", "pelto", "Clinic#2024", "PeltoDB"));
}

TEST_F(Workstation, SeveralRowsForOneCodeUseTheFirst) {
    const Outcome o = run_with("77777777\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_EQ(settings(), settings_file("127.0.0.21", "pelto", "Clinic#2024", "PeltoDB"));
    EXPECT_EQ(registry(), registry_completed());
}

// The installer runs to its end before the updater is looked for; the run goes on
// whatever the installer ends with, and its exit status tells: a failing code makes a
// completed run one with faults, a code asking for a restart is passed on.
TEST_F(Workstation, TheUpdaterIsLookedForOnlyAfterTheInstallerHasEnded) {
    // The installer takes its time and ends with a code of its own.
    Outcome o = run_with(
        "11111111\n", {{"PELTO_DEMO_INSTALLER_SECONDS", "2"}, {"PELTO_DEMO_INSTALLER_EXIT", "3"}});
    EXPECT_EQ(o.exit_status, exit_status::kCompletedWithFaults) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCompleted));
    EXPECT_EQ(read_file(c("Pelto_H/bin/update.done")),
              "installer finished before the updater started\n");
    std::string text = log();
    EXPECT_TRUE(has(text, "installer ended with exit code 3"));
    EXPECT_LT(text.find("installer ended"), text.find("starting the updater"));
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_TRUE(has(last, "exit status 16")) << last;
    EXPECT_TRUE(has(last, "the installer ended with exit code 3")) << last;

    // 3010 as a program of this system can end with it (its low byte, 194).
    o = run_with("11111111\n", {{"PELTO_DEMO_INSTALLER_EXIT", "194"}});
    EXPECT_EQ(o.exit_status, 194) << o.out << o.err;
    EXPECT_EQ(registry(), registry_completed());
}

// Failed registry writes are ignored, as they always were; a template that cannot be copied
// and settings keys that cannot be written make the completed run one with faults, named
// in the log, and the workstation's own Pelto.ini keeps its other sections.
TEST_F(Workstation, FailedWritesAreIgnoredButUnwrittenSettingsAreAFault) {
    // No Policies\System key (it is never created) and no template on the share.
    std::ofstream(root_ / "registry" / "HKEY_LOCAL_MACHINE.reg", std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n" + reg_section(kConnectTo);
    const fs::path template_file = root_ / "unc/UPDATESRV/pelto/Pelto.ini";
    const std::string template_bytes = read_file(template_file);
    fs::remove(template_file);
    std::ofstream(c("Pelto_H/bin/Pelto.ini"), std::ios::binary)
        << "[Database Server]\r\nserver_name=OLD-SERVER\r\n\r\n[Local]\r\nprinter=LPT2\r\n";
    Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompletedWithFaults) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCompleted));
    EXPECT_EQ(registry(), "Windows Registry Editor Version 5.00\r\n\r\n" + reg_section(kConnectTo) +
                              alias_lines());
    // The workstation's own file came back before the keys were written into it.
    EXPECT_EQ(settings(), cp949("[Database Server]\r\nserver_name=127.0.0.21\r\nserver_id=pelto\r\n"
                                "server_pwd=Clinic#2024\r\ndatabase_name=PeltoDB\r\n\r\n"
                                "[Local]\r\nprinter=LPT2\r\n"));
    EXPECT_TRUE(has(log(), "Policies\\System: status 2"));
    EXPECT_TRUE(has(log(), "Pelto.ini -> C:\\Pelto_H\\bin: status 2"));
    const std::string first = log();
    const std::string end = first.substr(first.rfind('\n', first.size() - 2) + 1);
    EXPECT_TRUE(has(end, "exit status 16")) << end;
    EXPECT_TRUE(has(end, "Pelto.ini was not copied (status 2)")) << end;

    // A read-only template: the copy keeps the mark, and the four key writes fail.
    std::ofstream(template_file, std::ios::binary) << template_bytes;
    fs::permissions(template_file, fs::perms(0444));
    o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompletedWithFaults) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCompleted));
    EXPECT_EQ(settings(), template_bytes);
    const std::string whole = log();
    const std::string text = whole.substr(whole.rfind("installation run started"));
    EXPECT_TRUE(has(text, "step 18: NOT written"));
    EXPECT_FALSE(has(text, "step 18: written"));
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_TRUE(has(last, "server_name, server_id, server_pwd, database_name")) << last;
}

// ---- runs that stop early ---------------------------------------------------------------

TEST_F(Workstation, CentralConnectionFailingStopsQuietlyAfterTheTwoAliases) {
    // Nothing serves the central address any more: the client finds no server there.
    const fs::path servers = root_ / "network" / "servers.ini";
    std::string map = read_file(servers);
    map.replace(map.find("[" + kCentral2 + ",4181]"), kCentral2.size() + 7, "[127.0.0.99,4181]");
    std::ofstream(servers, std::ios::binary) << map;

    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kCentralConnectionFailed) << o.out << o.err;
    EXPECT_EQ(o.out, ""); // no input box, no message
    EXPECT_EQ(registry(), registry_with_aliases_only());
    EXPECT_TRUE(old_installation_untouched());
    EXPECT_TRUE(has(log(), "the central database could not be reached"));
    EXPECT_FALSE(has(log(), "$63TirMox47@$"));
}

TEST_F(Workstation, EmptyOrCancelledInputStopsWithoutAMessage) {
    for (const std::string input : {"\n", ""}) {
        const Outcome o = run_with(input);
        EXPECT_EQ(o.exit_status, exit_status::kNoCodeEntered) << o.out << o.err;
        EXPECT_TRUE(has(o.out, kPrompt));
        EXPECT_EQ(o.out.find(kCaption, o.out.find(kPrompt) + 1), std::string::npos)
            << "no message after the input box: " << o.out;
        EXPECT_EQ(registry(), registry_with_aliases_only());
        EXPECT_TRUE(old_installation_untouched());
    }
}

TEST_F(Workstation, UnknownCodeShowsTheMessageAndTouchesNothing) {
    // The stored code has no spaces; typed with spaces it is another code.
    for (const std::string input : {"99999999\n", " 11111111 \n", "x' OR '1'='1\n"}) {
        const Outcome o = run_with(input);
        EXPECT_EQ(o.exit_status, exit_status::kUnknownCode) << input << o.out << o.err;
        EXPECT_TRUE(has(o.out, kCaption + "요양기관기호가 잘못되었습니다.\n")) << o.out;
        EXPECT_EQ(registry(), registry_with_aliases_only());
        EXPECT_TRUE(old_installation_untouched());
        EXPECT_FALSE(fs::exists(c("펠토사용자설치")));
    }
}

TEST_F(Workstation, AnUpdatePathThatCannotServeTheRunEndsItBeforeAnythingIsRemoved) {
    struct Case {
        std::string code;
        int status;
        std::string message;
    };
    for (const Case& k :
         {Case{"88888888\n", exit_status::kUpdatePathUnusable,
               "다운로더를 사용할 수 있는 환경이 아닙니다. 담당자에게 연락주세요."},
          Case{"90000001\n", exit_status::kInstallerMissing,
               "자동업데이트경로에 인스톨파일이 존재하지않습니다. 담당자에게 연락해주시기 "
               "바랍니다."},
          Case{"90000002\n", exit_status::kUpdaterMissing,
               "자동업데이트경로에 업데이트파일이 존재하지않습니다. 담당자에게 연락해주시기 "
               "바랍니다."}}) {
        const Outcome o = run_with(k.code);
        EXPECT_EQ(o.exit_status, k.status) << k.code << o.out << o.err;
        EXPECT_TRUE(has(o.out, kCaption + k.message + "\n")) << o.out;
        EXPECT_FALSE(has(o.out, "경고"));
        EXPECT_TRUE(old_installation_untouched()) << k.code;
        EXPECT_FALSE(fs::exists(c("펠토사용자설치"))) << k.code;
        EXPECT_FALSE(fs::exists(c("Pelto_H/bin/install.done"))); // the installer never ran
        EXPECT_EQ(registry(), registry_with_aliases_only());
        EXPECT_TRUE(has(log(), "nothing removed"));
    }
}

TEST_F(Workstation, TheCopiedInstallerIsStillCheckedAndTheRemovedFilesAreKept) {
    // A name the copy takes for the installer, but not the installer's own name: the
    // check before the removals passes, the one after the copy does not.
    const fs::path share = root_ / "unc/UPDATESRV/pelto";
    fs::rename(share / "installpelto_H.exe", share / "installpelto_H.exe.old");
    const std::string pelto_ini = read_file(c("Pelto_H/bin/Pelto.ini"));
    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kInstallerMissing) << o.out << o.err;
    EXPECT_LT(o.out.find("== 경고 =="), o.out.find("인스톨파일이 존재하지않습니다"));
    EXPECT_FALSE(fs::exists(c("Pelto_H/bin/Pelto.ini")));
    EXPECT_TRUE(fs::exists(c("펠토사용자설치/installpelto_H.exe.old")));
    // What went is kept.
    const std::vector<fs::path> kept = dated_folders();
    ASSERT_EQ(kept.size(), 1U);
    EXPECT_EQ(read_file(kept[0] / "Pelto.ini"), pelto_ini);
}

// Neither program starts unless both are the files this run copied.
TEST_F(Workstation, AnUpdaterThatWasNotCopiedStopsTheRunBeforeTheInstallerStarts) {
    const fs::path share = root_ / "unc/UPDATESRV/pelto";
    fs::rename(share / "PeltoUpdate_H.exe", share / "PeltoUpdate_H.exe.old");
    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kUpdaterMissing) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCaption + "자동업데이트경로에 업데이트파일이 존재하지않습니다. "
                                      "담당자에게 연락해주시기 바랍니다.\n"));
    EXPECT_FALSE(fs::exists(c("Pelto_H/bin/install.done")));
    EXPECT_FALSE(fs::exists(c("Pelto_H/bin/update.done")));
    EXPECT_FALSE(fs::exists(c("Pelto_H/bin/Pelto.ini")));
    EXPECT_EQ(registry(), registry_with_aliases_only());
}

TEST_F(Workstation, TheRemovedSettingsFilesAreKeptByteForByteAndTheOldestAndFiveNewestStay) {
    const fs::path backups = c("펠토사용자설치/보관");
    for (const char* old : {"20190101-000000", "20200101-000000", "20210101-000000",
                            "20220101-000000", "20230101-000000", "20240101-000000", "keep-me"}) {
        fs::create_directories(backups / old);
    }
    const std::string pelto_ini = read_file(c("Pelto_H/bin/Pelto.ini"));
    const std::string print_ini = read_file(c("Pelto_H/bin/Print.ini"));
    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;

    const std::vector<fs::path> kept = dated_folders();
    ASSERT_EQ(kept.size(), 6U);
    EXPECT_EQ(kept[0].filename(), "20190101-000000"); // the settings before the first run
    EXPECT_EQ(kept[1].filename(), "20210101-000000"); // the oldest of the others went
    EXPECT_TRUE(fs::is_directory(backups / "keep-me"));
    const fs::path& made = kept.back();
    EXPECT_GT(made.filename().string(), "2025");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(made)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Pelto.ini", "Print.ini"}));
    EXPECT_EQ(read_file(made / "Pelto.ini"), pelto_ini);
    EXPECT_EQ(read_file(made / "Print.ini"), print_ini);
    EXPECT_TRUE(has(log(), "C:\\펠토사용자설치\\보관\\" + made.filename().string()));
    // The new settings file is the template's, not the kept one.
    EXPECT_EQ(settings(), settings_file("127.0.0.21", "pelto", "Clinic#2024", "PeltoDB"));
}

// Another user of the workstation made the staging folder before the first run and put
// an installer (and a library the installer would load) into it: the run never uses that
// folder. It is moved aside whole, and the installer runs from a new one that holds only
// what the run copied.
TEST_F(Workstation, AStagingFolderSomeoneElseMadeIsMovedAsideAndNeverRunFrom) {
    const fs::path staging = c("펠토사용자설치");
    fs::create_directory(staging);
    fs::permissions(staging, fs::perms::all);
    std::ofstream(staging / "installpelto_H.exe", std::ios::binary)
        << "#!/bin/sh\n: > \"$PELTO_MACHINE_ROOT/drive_c/planted.ran\"\n";
    fs::permissions(staging / "installpelto_H.exe", fs::perms::all);
    std::ofstream(staging / "version.dll", std::ios::binary) << "planted";
    // The replace question answered No: a planted installer would stay and run.
    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_FALSE(fs::exists(c("planted.ran")));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(staging)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"PeltoUpdate_H.exe", "installpelto_H.exe", "보관"}));
    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(c(""))) {
        if (entry.path().filename().string().starts_with("펠토사용자설치.")) {
            aside.push_back(entry.path());
        }
    }
    ASSERT_EQ(aside.size(), 1U);
    EXPECT_EQ(read_file(aside[0] / "version.dll"), "planted");
    EXPECT_TRUE(has(log(), "moved aside"));

    // What cannot be moved aside ends the run with error 75 before anything is deleted.
    fs::remove_all(staging);
    fs::create_directory(staging);
    fs::permissions(staging, fs::perms::all);
    if (!pelto::testing::set_immutable(staging, true)) {
        GTEST_SKIP() << "no way to keep a folder from being moved here";
    }
    const std::string settings_before = read_file(c("Pelto_H/bin/Pelto.ini"));
    const Outcome stuck = run_with("11111111\n");
    pelto::testing::set_immutable(staging, false);
    EXPECT_EQ(stuck.exit_status, exit_status::kUnhandledError) << stuck.out << stuck.err;
    EXPECT_TRUE(has(stuck.out, kCaption + "Run-time error '75':")) << stuck.out;
    EXPECT_FALSE(has(stuck.out, kCompleted));
    EXPECT_EQ(read_file(c("Pelto_H/bin/Pelto.ini")), settings_before);
    EXPECT_TRUE(fs::exists(c("Pelto_H/Resource")));
}

TEST_F(Workstation, ASilentRunWithTheCodeShowsNothingAndWritesWhatATypedRunWrites) {
    Outcome o = run_with("", {}, {"/code=11111111", "/SILENT"});
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_FALSE(has(o.out, kCaption)) << o.out; // no message box, no input box
    EXPECT_FALSE(has(o.out, "경고"));
    EXPECT_FALSE(has(o.err, "no terminal")) << o.err;
    EXPECT_EQ(registry(), registry_completed());
    EXPECT_EQ(settings(), settings_file("127.0.0.21", "pelto", "Clinic#2024", "PeltoDB"));
    EXPECT_TRUE(fs::exists(c("Pelto_H/bin/update.done")));
    EXPECT_TRUE(has(log(), "silent: message not shown (information): 설치가 완료 되었습니다."));

    // Again, with both programs already in the staging folder: replaced without a
    // question; and the log where /LOG puts it.
    const std::string usual_log = log();
    o = run_with("", {}, {"/SILENT", "/LOG=C:\\logs\\silent.log", "/CODE=11111111"});
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_FALSE(has(o.out, "바꾸시겠습니까")) << o.out;
    EXPECT_FALSE(has(o.err, "no terminal")) << o.err;
    EXPECT_EQ(log(), usual_log);
    EXPECT_TRUE(has(read_file(c("logs/silent.log")), "run ended (exit status 0)"));

    // A code with spaces, given quoted: used as given, and no input box.
    o = run_with("", {}, {"/CODE= 66666666 "});
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
    EXPECT_FALSE(has(o.out, kPrompt));
    EXPECT_TRUE(has(o.out, kCompleted));
}

TEST_F(Workstation, ASecondRunWhileOneIsUnderWayEndsAtOnceWithItsLogLineOnly) {
    // The first run's claim, as its process holds it.
    fs::create_directories(root_ / "log");
    const int first_run =
        ::open((root_ / "log/PeltoUserInstall_H.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(first_run, 0);
    ASSERT_EQ(::flock(first_run, LOCK_EX | LOCK_NB), 0);
    const auto without_log = [this] {
        auto all = snapshot();
        std::erase_if(all, [this](const auto& entry) {
            return entry.first.rfind((root_ / "log").string(), 0) == 0;
        });
        return all;
    };
    const auto before = without_log();
    Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kAnotherRunUnderWay) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCaption + "설치가 이미 진행 중입니다.")) << o.out;
    EXPECT_FALSE(has(o.out, kPrompt)) << o.out;
    o = run_with("", {}, {"/SILENT", "/CODE=11111111"});
    EXPECT_EQ(o.exit_status, exit_status::kAnotherRunUnderWay) << o.out << o.err;
    EXPECT_FALSE(has(o.out, kCaption)) << o.out;
    EXPECT_TRUE(without_log() == before);
    // Nothing names the process of that claim: the run names itself.
    EXPECT_TRUE(has(log(), "run ended (exit status 23): another run is under way on this "
                           "machine; this run (process " +
                               std::to_string(o.pid) + ") touched nothing"))
        << log();
    EXPECT_FALSE(has(log(), "installation run started"));

    // Once the first run's process is gone, a run goes ahead.
    ::close(first_run);
    o = run_with("", {}, {"/SILENT", "/CODE=11111111"});
    EXPECT_EQ(o.exit_status, exit_status::kCompleted) << o.out << o.err;
}

TEST_F(Workstation, ALogThatCannotBeOpenedEndsTheRunBeforeAnythingIsTouched) {
    // A folder where the file should be, and a link that leads off the machine.
    fs::create_directory_symlink(root_.parent_path(), c("away"));
    const auto before = snapshot();
    for (const std::string& log_path :
         {std::string("C:\\Pelto_H\\bin"), std::string("C:\\away\\run.log")}) {
        const Outcome o =
            run_with("11111111\n", {}, {"/SILENT", "/LOG=" + log_path, "/CODE=11111111"});
        EXPECT_EQ(o.exit_status, exit_status::kPlatformUnavailable) << o.out << o.err;
        EXPECT_TRUE(
            has(o.out, "PeltoUserInstall_H: the run log " + log_path + " cannot be opened: "))
            << o.out;
        EXPECT_TRUE(snapshot() == before) << log_path;
    }
}

TEST_F(Workstation, EachUsageErrorTouchesNothing) {
    const auto before = snapshot();
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"/SILENT"},
                                               {"/CODE=11111111", "/NOPE"},
                                               {"/CODE="},
                                               {"/LOG=relative.log", "/CODE=11111111"},
                                               {"11111111"}}) {
        const Outcome o = run_with("11111111\n", {}, arguments);
        EXPECT_EQ(o.exit_status, exit_status::kUsageError) << arguments[0] << o.out << o.err;
        EXPECT_TRUE(has(o.out, "Usage")) << o.out;
        EXPECT_TRUE(has(o.out, arguments.back() == "/NOPE" ? "/NOPE" : arguments[0])) << o.out;
        EXPECT_FALSE(has(o.out, kCaption)) << o.out;
        EXPECT_TRUE(snapshot() == before) << arguments[0];
    }
    // Read before the platform starts: no machine root needed to be told.
    Outcome o = run(testing::kProgram, "", {{"PELTO_MACHINE_ROOT", std::nullopt}}, 120, {"/CODE"});
    EXPECT_EQ(o.exit_status, exit_status::kUsageError) << o.err;
    o = run_with("", {}, {"/?"});
    EXPECT_EQ(o.exit_status, exit_status::kCompleted);
    EXPECT_TRUE(has(o.out, "사용법")) << o.out;
    EXPECT_TRUE(snapshot() == before);
}

TEST_F(Workstation, AnErrorReachingTheRunIsShownAndEndsWithItsOwnStatus) {
    struct Case {
        std::string input;
        std::string message;
    };
    for (const Case& k : {Case{"90000003\n", "Run-time error '94':\n\nInvalid use of Null"},
                          Case{"90000004\n", "Run-time error '9':\n\nSubscript out of range"}}) {
        const Outcome o = run_with(k.input);
        EXPECT_EQ(o.exit_status, exit_status::kUnhandledError) << o.out << o.err;
        EXPECT_TRUE(has(o.out, kCaption + k.message)) << o.out;
        EXPECT_TRUE(has(log(), "unhandled error"));
        EXPECT_TRUE(old_installation_untouched());
    }
    // A lookup that fails: the database manager says so, and the closed record set it
    // hands back cannot give a record count.
    const std::string rename = "sqlite3 '" + (root_ / "network/db/central.sqlite3").string() +
                               "' 'ALTER TABLE PL_기관정보 RENAME TO 옛기관정보' </dev/null";
    ASSERT_EQ(std::system(rename.c_str()), 0);
    Outcome lookup = run_with("11111111\n");
    EXPECT_EQ(lookup.exit_status, exit_status::kUnhandledError) << lookup.out << lookup.err;
    EXPECT_TRUE(has(lookup.out, kCaption + "데이터 연결을 확인해주세요.\n" + kCaption +
                                    "Run-time error '3704':"))
        << lookup.out;
    EXPECT_TRUE(old_installation_untouched());
    const std::string back = "sqlite3 '" + (root_ / "network/db/central.sqlite3").string() +
                             "' 'ALTER TABLE 옛기관정보 RENAME TO PL_기관정보' </dev/null";
    ASSERT_EQ(std::system(back.c_str()), 0);

    // An installer that cannot be started (not executable).
    fs::permissions(root_ / "unc/UPDATESRV/pelto/installpelto_H.exe", fs::perms(0644));
    const Outcome o = run_with("11111111\n");
    EXPECT_EQ(o.exit_status, exit_status::kUnhandledError) << o.out << o.err;
    EXPECT_TRUE(has(o.out, kCaption + "Run-time error '5':")) << o.out;
}

TEST(Program, WithoutAMachineRootItSaysWhichVariableIsMissing) {
    const Outcome o = run(testing::kProgram, "", {{"PELTO_MACHINE_ROOT", std::nullopt}});
    EXPECT_EQ(o.exit_status, exit_status::kPlatformUnavailable);
    EXPECT_TRUE(has(o.err, "PELTO_MACHINE_ROOT")) << o.err;
    EXPECT_EQ(o.out, "");
}

} // namespace
} // namespace pelto::e2e
