#include "tests/support/demo_machine.h"

#include "tests/support/temp_machine.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace pelto::testing {

namespace fs = std::filesystem;

const char* const kProgram = PELTO_PROGRAM;
const char* const kCentral1 = PELTO_CENTRAL_SERVER_1;
const char* const kCentral2 = PELTO_CENTRAL_SERVER_2;

fs::path scratch_folder() {
    std::error_code ec;
    const fs::path memory = "/dev/shm";
    if (fs::is_directory(memory, ec) && ::access(memory.c_str(), W_OK) == 0) {
        return memory;
    }
    return fs::temp_directory_path();
}

DemoMachine::DemoMachine(const std::string& name, const fs::path& base)
    : root_(base / ("pelto-" + std::to_string(::getpid()) + "-" + name)) {
    const std::string command = "bash '" PELTO_SOURCE_DIR "/scripts/make-demo-machine.sh' --bin '" +
                                fs::path(PELTO_CIPHER_TOOL).parent_path().string() +
                                "' --central " + kCentral1 + "," + kCentral2 + " '" +
                                root_.string() + "' </dev/null >/dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("cannot build the demo machine: " + command);
    }
}

DemoMachine::~DemoMachine() {
    if (keep_) {
        std::cerr << "machine root kept for inspection: " << root_ << '\n';
        return;
    }
    make_removable(root_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

fs::path DemoMachine::c(const std::string& relative) const {
    return root_ / "drive_c" / relative;
}

std::string DemoMachine::registry() const {
    return read_host_file(root_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
}

std::string DemoMachine::log() const {
    const fs::path file = root_ / "log" / "PeltoUserInstall_H.log";
    return fs::exists(file) ? read_host_file(file) : std::string();
}

std::string DemoMachine::settings() const {
    return read_host_file(c("Pelto_H/bin/Pelto.ini"));
}

std::map<std::string, std::string> DemoMachine::snapshot() const {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        char attributes[64] = {};
        const ssize_t n =
            ::lgetxattr(entry.path().c_str(), "user.DOSATTRIB", attributes, sizeof attributes - 1);
        std::string state = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) +
                            "." + std::to_string(st.st_mtim.tv_nsec) + " " +
                            (n > 0 ? std::string(attributes, static_cast<size_t>(n)) : "") + " ";
        state += entry.is_regular_file() && !entry.is_symlink() ? read_host_file(entry.path())
                                                                : std::string("<not a file>");
        all[entry.path().string()] = std::move(state);
    }
    return all;
}

} // namespace pelto::testing
