// Another user of the workstation against the elevated run, played by uid 65534 on a demo
// machine that has run once (so its staging folder, kept sets, log and lock exist). At every
// name the run reads or writes, in turn, the sweep plants a link to a victim, a second name
// of a victim file, an entry of the other user's that anyone may write, and for a folder a
// pre-made one holding programs of the other user's; then it runs the real program. After
// each run: no victim changed; nothing ran that the run did not copy; the run completed as
// a clean run does or stopped before anything was deleted; and the institution's password
// is nowhere but in C:\Pelto_H\bin\Pelto.ini and below 보관.
#include "tests/e2e/run_program.h"
#include "tests/support/demo_machine.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace pelto::e2e {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;
constexpr const char* kPassword = "Clinic#2024";
// A program of the other user's: it leaves a mark when anything runs it.
constexpr const char* kPlantedProgram = "#!/bin/sh\ntouch \"$PELTO_MACHINE_ROOT/RAN-PLANTED\"\n";

const std::vector<std::string> kRun = {"/CODE=11111111", "/SILENT"};

// What a victim is: its bytes (a folder: its names), mode, owner and DOS attributes.
std::string state_of(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "gone";
    }
    std::string out = std::to_string(st.st_mode) + "/" + std::to_string(st.st_uid) + "/" +
                      std::to_string(st.st_nlink) + ":";
    char attributes[64] = {};
    const ssize_t n = ::lgetxattr(path.c_str(), "user.DOSATTRIB", attributes, sizeof attributes);
    out += n > 0 ? std::string(attributes, static_cast<size_t>(n)) : std::string("-");
    if (S_ISDIR(st.st_mode)) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(path)) {
            names.insert(entry.path().filename().string() + "=" + state_of(entry.path()));
        }
        for (const std::string& name : names) {
            out += " " + name;
        }
    } else if (S_ISREG(st.st_mode)) {
        out += read_file(path);
    }
    return out;
}

void write_file(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every path below `folder`, links as links.
std::set<std::string> paths_below(const fs::path& folder) {
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        out.insert(it->path().string());
    }
    return out;
}

struct Plant {
    const char* what;
    // Plants at `path` (host path of the name) on the machine `root`; false when this
    // plant makes no sense there or cannot be made here.
    std::function<bool(const fs::path& root, const fs::path& path)> make;
};

// The victims live on another drive of the machine, so that no plant on drive C takes them.
fs::path victim_file(const fs::path& root) {
    return root / "drive_d/Windows/System32/victim.dll";
}
fs::path victim_folder(const fs::path& root) {
    return root / "drive_d/Windows/VictimDir";
}

void replace_with_link(const fs::path& path, const fs::path& target) {
    fs::remove_all(path);
    fs::create_symlink(target, path);
}

void write_program(const fs::path& path) {
    write_file(path, kPlantedProgram);
    fs::permissions(path, fs::perms::all);
}

const std::vector<Plant>& plants() {
    static const std::vector<Plant> all = {
        // The other user's link: one the run's own user made would be an administrator's
        // link made on purpose, which the run follows.
        {"a link to a victim",
         [](const fs::path& root, const fs::path& path) {
             if (::geteuid() != 0) {
                 return false;
             }
             replace_with_link(path, fs::is_directory(path) && !fs::is_symlink(path)
                                         ? victim_folder(root)
                                         : victim_file(root));
             return ::lchown(path.c_str(), kOtherUser, kOtherUser) == 0;
         }},
        {"a second name of a victim file",
         [](const fs::path& root, const fs::path& path) {
             if (fs::is_directory(path)) {
                 return false;
             }
             fs::remove(path);
             fs::create_hard_link(victim_file(root), path);
             return true;
         }},
        {"the other user's entry that anyone may write",
         [](const fs::path&, const fs::path& path) {
             if (::geteuid() != 0) {
                 return false;
             }
             const bool folder = fs::is_directory(path) && !fs::is_symlink(path);
             fs::remove_all(path);
             if (folder) {
                 fs::create_directory(path);
                 write_program(path / "installpelto_H.exe");
             } else {
                 write_program(path);
             }
             fs::permissions(path, fs::perms::all);
             return ::lchown(path.c_str(), kOtherUser, kOtherUser) == 0 &&
                    (!folder ||
                     ::chown((path / "installpelto_H.exe").c_str(), kOtherUser, kOtherUser) == 0);
         }},
        {"a pre-made folder holding the other user's programs",
         [](const fs::path&, const fs::path& path) {
             if (!fs::is_directory(path) || fs::is_symlink(path)) {
                 return false;
             }
             for (const char* name : {"installpelto_H.exe", "PeltoUpdate_H.exe", "version.dll"}) {
                 write_program(path / name);
                 if (::geteuid() == 0) {
                     ::chown((path / name).c_str(), kOtherUser, kOtherUser);
                 }
             }
             return true;
         }},
    };
    return all;
}

// Every file below `folder` holding the password, as paths relative to `root`.
std::vector<std::string> holding_the_password(const fs::path& root, const fs::path& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file() && !it->is_symlink() &&
            read_file(it->path()).find(kPassword) != std::string::npos) {
            out.push_back(fs::relative(it->path(), root).string());
        }
    }
    return out;
}

// The servers the machine's network stands for know their own logins (network/); of the
// workstation, only the settings file and the kept copies may hold the password.
bool allowed_to_hold_it(const std::string& relative) {
    return relative == "drive_c/Pelto_H/bin/Pelto.ini" ||
           relative.starts_with("drive_c/펠토사용자설치/보관/") || relative.starts_with("network/");
}

class AttackerSweep : public ::testing::Test {
protected:
    void SetUp() override {
        // The victims: a system library marked read-only, hidden and system, and a folder.
        write_file(victim_file(lived_.root()), "system library");
        ::lsetxattr(victim_file(lived_.root()).c_str(), "user.DOSATTRIB", "0x6", 3, 0);
        fs::permissions(victim_file(lived_.root()), fs::perms(0444));
        write_file(victim_folder(lived_.root()) / "keep.txt", "keep");
        // Lived in: the staging folder, a kept set, the log and the lock exist.
        ASSERT_EQ(run_on(lived_.root()).exit_status, 0);
        clean_ = copy_of_lived();
        clean_run_ = run_on(clean_);
        ASSERT_EQ(clean_run_.exit_status, 0) << clean_run_.out << clean_run_.err;
    }
    Outcome run_on(const fs::path& root) {
        return run(testing::kProgram, "", {{"PELTO_MACHINE_ROOT", root.string()}}, 60, kRun);
    }
    fs::path copy_of_lived() {
        static int n = 0;
        const fs::path copy = lived_.root().string() + "-" + std::to_string(++n);
        fs::remove_all(copy);
        fs::copy(lived_.root(), copy,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return copy;
    }
    // Every name the run reads or writes on the lived-in machine, relative to its root.
    std::vector<std::string> names() const;
    void attack(const std::string& name, const Plant& plant, int& made);

    testing::DemoMachine lived_{"attacker", testing::scratch_folder()};
    fs::path clean_;
    Outcome clean_run_;
};

std::vector<std::string> AttackerSweep::names() const {
    std::vector<std::string> out = {"drive_c",
                                    "drive_c/Pelto_H",
                                    "drive_c/Pelto_H/bin",
                                    "drive_c/Pelto_H/Resource",
                                    "drive_c/펠토사용자설치",
                                    "drive_c/펠토사용자설치/보관",
                                    "log"};
    const fs::path root = lived_.root();
    for (const char* folder :
         {"drive_c/Pelto_H/bin", "drive_c/Pelto_H/Resource", "drive_c/펠토사용자설치", "log"}) {
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            const std::string relative = fs::relative(entry.path(), root).string();
            if (std::find(out.begin(), out.end(), relative) == out.end()) {
                out.push_back(relative);
            }
        }
    }
    for (const auto& set : fs::directory_iterator(root / "drive_c/펠토사용자설치/보관")) {
        out.push_back(fs::relative(set.path(), root).string());
        for (const auto& file : fs::directory_iterator(set.path())) {
            out.push_back(fs::relative(file.path(), root).string());
        }
    }
    return out;
}

// What the suite's own installer and updater write (the demo's write through whatever they
// find): the run lets them rework C:\Pelto_H as they please, so what they do is theirs.
bool written_by_the_suite(const std::string& name) {
    for (const char* own :
         {"drive_c/Pelto_H/bin/Pelto_H.exe", "drive_c/Pelto_H/bin/install.done",
          "drive_c/Pelto_H/bin/update.done", "drive_c/Pelto_H/Resource/logo.bmp"}) {
        if (name == own) {
            return true;
        }
    }
    return false;
}

void AttackerSweep::attack(const std::string& name, const Plant& plant, int& made) {
    if (written_by_the_suite(name)) {
        return;
    }
    const fs::path root = copy_of_lived();
    if (!plant.make(root, root / name)) {
        fs::remove_all(root);
        return;
    }
    ++made;
    const std::string at = std::string(plant.what) + " at " + name;
    const std::string victims = state_of(victim_file(root)) + state_of(victim_folder(root));
    const std::set<std::string> before = paths_below(root / "drive_c/Pelto_H");
    const Outcome o = run_on(root);
    EXPECT_EQ(state_of(victim_file(root)) + state_of(victim_folder(root)), victims)
        << at << ": a victim changed";
    EXPECT_FALSE(fs::exists(root / "RAN-PLANTED")) << at << ": a planted program ran";
    if (o.exit_status == 0) {
        EXPECT_EQ(read_file(root / "drive_c/Pelto_H/bin/Pelto.ini"),
                  read_file(clean_ / "drive_c/Pelto_H/bin/Pelto.ini"))
            << at << ": completed, but not as a clean run";
    } else {
        // Stopped: before anything was deleted below C:\Pelto_H.
        for (const std::string& path : before) {
            EXPECT_TRUE(fs::exists(fs::symlink_status(path)))
                << at << ": stopped with " << o.exit_status << " after deleting " << path;
        }
    }
    for (const std::string& holder : holding_the_password(root, root)) {
        EXPECT_TRUE(allowed_to_hold_it(holder)) << at << ": the password is in " << holder;
    }
    if (!HasFailure()) {
        fs::remove_all(root);
    } else {
        std::cerr << at << ": machine kept in " << root << "\n" << o.out << o.err;
    }
}

TEST_F(AttackerSweep, NoPlantedNameLeadsTheRunToAVictimOrRunsAPlantedProgram) {
    int made = 0;
    const std::vector<std::string> all = names();
    for (const std::string& name : all) {
        for (const Plant& plant : plants()) {
            attack(name, plant, made);
            if (HasFailure()) {
                return;
            }
        }
    }
    std::cout << "attacker sweep: " << all.size() << " names, " << made
              << " plants made, all held\n";
}

} // namespace
} // namespace pelto::e2e
