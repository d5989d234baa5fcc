// The Windows machine mapped onto a folder: PELTO_MACHINE_ROOT holds drive_c/ for C:\,
// unc/HOST/SHARE/ for \\HOST\SHARE, registry/HKEY_LOCAL_MACHINE.reg and network/.
#pragma once

#include "core/text.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace pelto::platform::portable {

// The host folders below the machine root that hold a volume's root: "C:" is drive_c,
// "\\HOST\SHARE" is unc/HOST/SHARE.
std::vector<Text> volume_folders(TextView volume);

class MachineRoot {
public:
    explicit MachineRoot(std::filesystem::path root);
    // From PELTO_MACHINE_ROOT; throws VbError naming the variable when it is not set or
    // does not name a folder.
    static MachineRoot from_environment();

    const std::filesystem::path& root() const { return root_; }

    // Maps a Windows path (drive-letter or UNC, "\" or "/" separators) onto the host:
    // each existing component is matched case-insensitively, ".." is resolved inside the
    // machine, and a missing component keeps the spelling given. nullopt for a path that
    // is not absolute or that would leave the machine root.
    std::optional<std::filesystem::path> to_host(TextView windows_path) const;
    // The Windows path of a host path inside the root (for messages and logs).
    std::optional<Text> to_windows(const std::filesystem::path& host_path) const;

    // Whether a host path (absolute, normalised) lies inside the machine root.
    bool contains(const std::filesystem::path& host_path) const;
    // The host path with every symbolic link in it resolved, the last one included;
    // nullopt when that leads outside the machine root. A missing tail is kept as given.
    std::optional<std::filesystem::path> follow_links(const std::filesystem::path& host_path) const;
    // Whether a host path is a drive folder (drive_c) or a share folder (unc/HOST/SHARE):
    // the root of a Windows volume, which has no "." and ".." and cannot be removed.
    bool is_volume_root(const std::filesystem::path& host_path) const;

    std::filesystem::path registry_file() const; // registry/HKEY_LOCAL_MACHINE.reg
    std::filesystem::path servers_file() const;  // network/servers.ini
    std::filesystem::path log_file() const;      // log/PeltoUserInstall_H.log
    std::filesystem::path run_lock_file() const; // log/PeltoUserInstall_H.lock

private:
    std::filesystem::path root_;
};

} // namespace pelto::platform::portable
