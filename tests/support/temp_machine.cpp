#include "tests/support/temp_machine.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/fs.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace pelto::testing {

namespace fs = std::filesystem;

namespace {

fs::path make_temp_folder() {
    std::string pattern = (fs::temp_directory_path() / "pelto-test-XXXXXX").native();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    return fs::path(name.data());
}

} // namespace

void write_host_file(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.native());
    }
}

std::string read_host_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.native());
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool set_immutable(const fs::path& path, bool immutable) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

void make_removable(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        return;
    }
    set_immutable(path, false);
    if (fs::is_directory(path, ec)) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            make_removable(it->path());
        }
    }
}

TempMachine::TempMachine()
    : base_(make_temp_folder()), root_(base_ / "machine"), outside_(base_ / "outside") {
    for (const char* folder : {"drive_c", "registry", "network", "log"}) {
        fs::create_directories(root_ / folder);
    }
    fs::create_directories(outside_);
    auto log = std::make_unique<MemoryRunLog>();
    auto ui = std::make_unique<RecordingUserInterface>();
    log_ = log.get();
    ui_ = ui.get();
    machine_ = std::make_unique<platform::portable::PortableMachine>(
        platform::portable::MachineRoot(root_), terminal_, std::move(ui), std::move(log));
}

TempMachine::~TempMachine() {
    machine_.reset();
    make_removable(base_);
    std::error_code ec;
    fs::remove_all(base_, ec);
}

fs::path TempMachine::host(TextView windows_path) const {
    const std::optional<fs::path> path = machine_->machine().to_host(windows_path);
    if (!path) {
        throw std::runtime_error("no host path for " + to_utf8(windows_path));
    }
    return *path;
}

void TempMachine::write_file(TextView windows_path, std::string_view bytes) const {
    write_host_file(host(windows_path), bytes);
}

std::string TempMachine::read_file(TextView windows_path) const {
    return read_host_file(host(windows_path));
}

bool TempMachine::exists(TextView windows_path) const {
    const std::optional<fs::path> path = machine_->machine().to_host(windows_path);
    std::error_code ec;
    return path && fs::symlink_status(*path, ec).type() != fs::file_type::not_found;
}

void TempMachine::make_folder(TextView windows_path) const {
    fs::create_directories(host(windows_path));
}

} // namespace pelto::testing
