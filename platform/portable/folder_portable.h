// A folder of the mapped machine held open by its descriptor. Every operation on what it
// holds goes through the descriptor and the entry's own name (openat, fstatat, unlinkat,
// each without following a link), so that a link swapped in after the folder was looked
// at can never lead the run off the folder, or off the machine.
#pragma once

#include "platform/filesystem.h"
#include "platform/portable/host_files.h"
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
// read is named in the run log as `windows_folder`.
std::vector<FolderEntry> read_folder(int folder, TextView pattern, RunLog& log,
                                     TextView windows_folder,
                                     const std::filesystem::path& host_folder);

class PortableFolder final : public Folder {
public:
    // `windows_path` and `host_path` only name the folder in the run log.
    PortableFolder(UniqueFd fd, Text windows_path, std::filesystem::path host_path, RunLog& log);

    std::optional<uint32_t> attributes() override;
    bool set_attributes(uint32_t attributes) override;
    std::vector<DirEntry> list(TextView pattern, uint32_t attribute_filter) override;
    bool set_attributes(TextView name, uint32_t attributes) override;
    bool delete_files(TextView pattern) override;
    bool remove_link(TextView name) override;
    bool remove_folder(TextView name) override;
    std::unique_ptr<Folder> open_folder(TextView name) override;
    std::unique_ptr<File> open_file(TextView name) override;
    std::unique_ptr<File> create_private_file(TextView name) override;
    bool replace_file(TextView name, std::span<const uint8_t> bytes, uint32_t attributes) override;

    int descriptor() const { return fd_.get(); }

private:
    // The host name of the entry `name` (found without regard to case when it is not
    // spelled so) and its lstat, relative to the folder; nullopt (nothing logged) when it
    // is not there, and for anything that is not one entry's name.
    std::optional<std::string> look_at(TextView name, struct stat& st);
    void log_refusal(const char* call, TextView name, const std::string& host_name) const;
    Text windows_path_of(TextView name) const;

    UniqueFd fd_;
    Text windows_path_;
    std::filesystem::path host_path_;
    RunLog& log_;
};

// A file of the mapped machine held open; the descriptor is closed with it.
std::unique_ptr<File> make_host_file(UniqueFd fd);

} // namespace pelto::platform::portable
