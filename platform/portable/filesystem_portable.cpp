#include "platform/portable/filesystem_portable.h"

#include "platform/portable/folder_portable.h"
#include "platform/portable/host_failure.h"
#include "platform/portable/host_files.h"
#include "platform/windows_path.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>

namespace pelto::platform::portable {

PortableFileSystem::PortableFileSystem(const MachineRoot& machine, RunLog& log)
    : machine_(machine), log_(log) {}

std::unique_ptr<Folder> PortableFileSystem::open_volume(TextView volume) {
    const std::optional<WindowsPath> parsed = parse_windows_path(volume);
    if (!parsed || !parsed->names.empty()) {
        return nullptr;
    }
    // The machine root is the machine's own place; below it, every folder of the way to
    // the volume's root is opened without following a link, so that no link planted there
    // leads the run off the machine.
    UniqueFd root(::open(machine_.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) {
        log_errno_failure(log_, "open", parsed->volume, machine_.root());
        return nullptr;
    }
    std::unique_ptr<Folder> folder =
        std::make_unique<PortableFolder>(std::move(root), Text(), machine_.root(), machine_, log_);
    const std::vector<Text> names = volume_folders(parsed->volume);
    for (size_t i = 0; i < names.size() && folder; ++i) {
        folder = folder->open_folder(names[i]);
    }
    if (!folder) {
        return nullptr;
    }
    // Named as Windows names the volume's root.
    auto* const opened = static_cast<PortableFolder*>(folder.get());
    return std::make_unique<PortableFolder>(
        UniqueFd(::fcntl(opened->descriptor(), F_DUPFD_CLOEXEC, 0)), parsed->prefix(0),
        opened->host_path(), machine_, log_);
}

Text PortableFileSystem::program_folder() {
    const char* value = std::getenv("PELTO_PROGRAM_FOLDER");
    Text folder =
        value != nullptr && *value != '\0' ? from_utf8(value) : Text(u"C:\\PeltoUserInstall_H");
    while (folder.size() > 1 && (folder.back() == u'\\' || folder.back() == u'/') &&
           !ends_with(folder, u":\\") && !ends_with(folder, u":/")) {
        folder.pop_back();
    }
    return folder;
}

} // namespace pelto::platform::portable
