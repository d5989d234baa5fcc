// A folder of the mapped machine held open by its descriptor. Every operation on what it
// holds goes through the descriptor and the entry's own name (openat, fstatat, unlinkat,
// each without following a link), so that a link swapped in after the folder was looked
// at can never lead the run off the folder, or off the machine.
#pragma once

#include "platform/filesystem.h"
#include "platform/portable/host_files.h"
#include "platform/portable/machine_root.h"
#include "platform/run_log.h"

#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace pelto::platform::portable {

// One entry of an open folder, as its listing finds it.
struct FolderEntry {
    Text name;             // as Windows shows it
    std::string host_name; // its name on the host
    struct stat st {};     // its lstat
    uint32_t attributes = 0;
};

// The entries of the open folder `folder` whose names match the DOS pattern, "." and ".."
// left out, in the order NTFS lists them (by upper-cased name). A folder that cannot be
// read is named in the run log as `windows_folder` and gives nullopt.
std::optional<std::vector<FolderEntry>> read_folder(int folder, TextView pattern, RunLog& log,
                                                    TextView windows_folder,
                                                    const std::filesystem::path& host_folder);

class PortableFolder final : public Folder {
public:
    // `windows_path` and `host_path` name the folder: in the run log, and for the link
    // targets and the path checks that need its place on the machine.
    PortableFolder(UniqueFd fd, Text windows_path, std::filesystem::path host_path,
                   const MachineRoot& machine, RunLog& log);

    const Text& path() const override { return windows_path_; }
    std::optional<uint32_t> attributes() override;
    bool set_attributes(uint32_t attributes) override;
    std::optional<std::vector<DirEntry>> list(TextView pattern, uint32_t attribute_filter) override;
    bool set_attributes(TextView name, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    bool remove_link(TextView name) override;
    bool remove_folder(TextView name) override;
    std::unique_ptr<Folder> open_folder(TextView name) override;
    std::unique_ptr<File> open_file(TextView name, FileMode mode) override;
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override;
    std::unique_ptr<File> create_private_file(TextView name) override;
    MadeFolder make_private_folder(TextView name, PrivateAccess access) override;
    EntryTrust trust(TextView name) override;
    bool move(TextView name, Folder& destination, TextView new_name) override;
    std::optional<Text> link_target(TextView name) override;

    int descriptor() const { return fd_.get(); }
    const std::filesystem::path& host_path() const { return host_path_; }

private:
    // The host name of the entry `name` (found without regard to case when it is not
    // spelled so) and its lstat, relative to the folder; nullopt (nothing logged) when it
    // is not there, and for anything that is not one entry's name.
    std::optional<std::string> look_at(TextView name, struct stat& st);
    void log_refusal(const char* call, TextView name, const std::string& host_name) const;
    Text windows_path_of(TextView name) const;
    std::unique_ptr<PortableFolder> child(UniqueFd fd, TextView name,
                                          const std::string& host_name) const;
    std::unique_ptr<File> open_for_writing(TextView name, const std::optional<std::string>& found,
                                           const struct stat& st);

    UniqueFd fd_;
    Text windows_path_;
    std::filesystem::path host_path_;
    const MachineRoot& machine_;
    RunLog& log_;
};

// Why a folder's path on the host could be changed by someone other than the run's user
// (a folder on the way that another user owns, or that others may write and that is not
// sticky: they could rename what it holds); nullopt when it cannot. A program is started
// by its path, so the folder it is started from must keep its path.
std::optional<std::string> path_others_may_change(const std::filesystem::path& folder);

// A file of the mapped machine held open; the descriptor is closed with it.
std::unique_ptr<File> make_host_file(UniqueFd fd);

} // namespace pelto::platform::portable
