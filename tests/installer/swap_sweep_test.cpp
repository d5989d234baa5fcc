// Another user swaps each of the run's folders for a link to a victim between the moment
// the run opened it and the moment it works in it: the folder is renamed away and a link of
// theirs takes its name. Whatever the run does next, through its open folders or by
// walking from the drive's root again, no victim changes, nothing planted runs, and the
// password goes nowhere but the settings file and the kept copies.
#include "installer/run.h"
#include "platform/portable/machine_portable.h"
#include "tests/support/demo_machine.h"
#include "tests/support/recording.h"
#include "tests/support/scripted_terminal.h"
#include "tests/support/swap_after_open.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelto {
namespace {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The victims, but for what the suite's own installer and updater write into the folder
// they are given (the demo's follow whatever they find there): the run lets them rework
// C:\Pelto_H as they please.
std::string victims_of(const fs::path& root) {
    std::string out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root / "drive_d", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == "install.done" || name == "update.done" || name == "Pelto_H.exe" ||
            name == "logo.bmp") {
            continue;
        }
        struct stat st {};
        ::lstat(it->path().c_str(), &st);
        out += it->path().string() + " " + std::to_string(st.st_mode) + " " +
               std::to_string(st.st_uid) + " " +
               (S_ISREG(st.st_mode) ? read_bytes(it->path()) : std::string()) + "\n";
    }
    return out;
}

TEST(SwapSweep, AFolderSwappedForALinkBetweenItsOpenAndItsUseLeadsNowhere) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the other user's link needs root to be made";
    }
    const std::vector<std::pair<Text, std::string>> folders = {
        {u"C:\\Pelto_H", "drive_c/Pelto_H"},
        {u"C:\\Pelto_H\\bin", "drive_c/Pelto_H/bin"},
        {u"C:\\Pelto_H\\Resource", "drive_c/Pelto_H/Resource"},
        {u"C:\\펠토사용자설치", "drive_c/펠토사용자설치"},
        {u"C:\\펠토사용자설치\\보관", "drive_c/펠토사용자설치/보관"},
    };
    for (const auto& [windows, host] : folders) {
        SCOPED_TRACE(to_utf8(windows));
        testing::DemoMachine demo("swap", testing::scratch_folder());
        const fs::path root = demo.root();
        fs::create_directories(root / "drive_d/Victim");
        std::ofstream(root / "drive_d/Victim/keep.txt") << "keep";
        std::ofstream(root / "drive_d/Victim/installpelto_H.exe")
            << "#!/bin/sh\ntouch \"$PELTO_MACHINE_ROOT/RAN-PLANTED\"\n";
        fs::permissions(root / "drive_d/Victim/installpelto_H.exe", fs::perms::all);
        const std::string victims = victims_of(root);

        ::setenv("PELTO_MACHINE_ROOT", root.c_str(), 1);
        testing::ScriptedTerminal terminal;
        platform::portable::PortableMachine machine(
            platform::portable::MachineRoot(root), terminal,
            std::make_unique<testing::RecordingUserInterface>(),
            std::make_unique<testing::MemoryRunLog>());
        testing::SwapAfterOpen swapping(machine.platform().files, windows, [&, host = host] {
            fs::rename(root / host, root / (host + ".moved"));
            fs::create_symlink(root / "drive_d/Victim", root / host);
            ::lchown((root / host).c_str(), 65534, 65534);
        });
        installer::RunOptions options;
        options.code = u"11111111";
        options.silent = true;
        platform::Platform p = platform::with_services(machine.platform(), {.files = &swapping});
        installer::run_program(p, options);
        EXPECT_TRUE(swapping.fired());
        EXPECT_EQ(victims_of(root), victims);
        EXPECT_FALSE(fs::exists(root / "RAN-PLANTED"));
        if (HasFailure()) {
            demo.keep();
            return;
        }
    }
}

} // namespace
} // namespace pelto
