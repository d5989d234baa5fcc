// Removes a resource tree of 20,000 files in 1,000 folders with fG_DeleteFolder and an
// identical tree with `rm -rf`, in the same run, and prints the ratio of the two times
// (target: at most 1.5). Usage: bench_delete_folder [rounds] [folder]; the median ratio
// counts. The trees are built in `folder` (default: the system's temporary folder) and
// removed afterwards.
#include "installer/mdl_functions.h"
#include "platform/portable/machine_portable.h"
#include "platform/portable/process_terminal.h"
#include "platform/portable/terminal_ui.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTopFolders = 10;
constexpr int kSubfoldersEach = 99; // 10 + 10 * 99 = 1,000 folders
constexpr int kFilesPerFolder = 20; // 20,000 files

class NullRunLog final : public pelto::platform::RunLog {
public:
    void write(std::string_view /*line*/) override {}
};

void fill_folder(const fs::path& folder, int& counter) {
    fs::create_directory(folder);
    for (int i = 0; i < kFilesPerFolder; ++i) {
        const fs::path file = folder / ("file" + std::to_string(i) + ".dat");
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, "resource data\n", 14) != 14) {
            std::perror(file.c_str());
            std::exit(2);
        }
        ::close(fd);
        // One file in twenty hidden, one in twenty read-only, as resource folders have.
        if (++counter % 20 == 0) {
            ::setxattr(file.c_str(), "user.DOSATTRIB", "0x2", 3, 0);
        } else if (counter % 20 == 10) {
            ::chmod(file.c_str(), 0444);
        }
    }
}

void build_tree(const fs::path& top) {
    int counter = 0;
    fs::create_directories(top.parent_path());
    fs::create_directory(top);
    for (int t = 0; t < kTopFolders; ++t) {
        const fs::path folder = top / ("Folder" + std::to_string(t));
        fill_folder(folder, counter);
        for (int s = 0; s < kSubfoldersEach; ++s) {
            fill_folder(folder / ("Sub" + std::to_string(s)), counter);
        }
    }
}

// Wall time, and processor time (user + system) of this process or of its children.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double cpu_seconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Timing rm_rf(const fs::path& path) {
    const std::string& target = path.native();
    std::vector<char*> argv{const_cast<char*>("rm"), const_cast<char*>("-rf"),
                            const_cast<char*>(target.c_str()), nullptr};
    const double cpu_start = cpu_seconds(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/bin/rm", nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror("rm");
        std::exit(2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            cpu_seconds(RUSAGE_CHILDREN) - cpu_start};
}

Timing delete_folder(pelto::platform::Platform& p) {
    const double cpu_start = cpu_seconds(RUSAGE_SELF);
    const auto start = Clock::now();
    const bool result = pelto::mdl함수::fG_DeleteFolder(p, u"C:\\Pelto_H\\Resource");
    const Timing timing{std::chrono::duration<double>(Clock::now() - start).count(),
                        cpu_seconds(RUSAGE_SELF) - cpu_start};
    if (!result) {
        std::fprintf(stderr, "fG_DeleteFolder returned False\n");
        std::exit(2);
    }
    return timing;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path parent = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    std::string pattern = (parent / "pelto-bench-XXXXXX").native();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path base(pattern);
    const fs::path root = base / "machine";
    fs::create_directories(root / "drive_c");
    pelto::platform::portable::ProcessTerminal terminal;
    pelto::platform::portable::PortableMachine machine(
        pelto::platform::portable::MachineRoot(root), terminal,
        std::make_unique<pelto::platform::portable::TerminalUserInterface>(terminal),
        std::make_unique<NullRunLog>());

    std::printf("fG_DeleteFolder against rm -rf: %d folders, %d files per tree\n",
                kTopFolders * (1 + kSubfoldersEach),
                kTopFolders * (1 + kSubfoldersEach) * kFilesPerFolder);
    std::vector<double> wall_ratios;
    std::vector<double> cpu_ratios;
    for (int round = 0; round < rounds; ++round) {
        const fs::path ours_tree = root / "drive_c" / "Pelto_H" / "Resource";
        const fs::path rm_tree = base / "rm-tree";
        build_tree(ours_tree);
        build_tree(rm_tree);
        ::sync(); // both trees start from the same state of the disk
        Timing ours;
        Timing theirs;
        // Alternate which goes first, against drift in the disk's speed.
        if (round % 2 == 0) {
            ours = delete_folder(machine.platform());
            theirs = rm_rf(rm_tree);
        } else {
            theirs = rm_rf(rm_tree);
            ours = delete_folder(machine.platform());
        }
        if (fs::exists(ours_tree) || fs::exists(rm_tree)) {
            std::fprintf(stderr, "a tree was not removed completely\n");
            return 2;
        }
        wall_ratios.push_back(ours.wall / theirs.wall);
        cpu_ratios.push_back(ours.cpu / std::max(theirs.cpu, 1e-6));
        std::printf("round %d: fG_DeleteFolder %.3f s (cpu %.3f s), rm -rf %.3f s (cpu %.3f s), "
                    "ratio %.2f (cpu %.2f)\n",
                    round + 1, ours.wall, ours.cpu, theirs.wall, theirs.cpu, wall_ratios.back(),
                    cpu_ratios.back());
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("median ratio fG_DeleteFolder / rm -rf: %.2f wall, %.2f processor time "
                "(target: at most 1.5)\n",
                median(wall_ratios), median(cpu_ratios));
    std::error_code ec;
    fs::remove_all(base, ec);
    return 0;
}
