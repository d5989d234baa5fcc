// The run log as a file: one line per event, "YYYY-MM-DD HH:MM:SS.mmm text", appended.
// Its folders are reached one name at a time from where the log begins (the machine root,
// or the volume a /LOG path names), each opened without following a link and made when
// missing, and the file itself is opened without following a link: a link planted at any
// name on the way, or a file with a second name in its place, is refused
// (run_log_refusal). When the file cannot be opened on the first line, standard error says
// so once and the lines go; the run never stops for its log unless it asked for it by name
// (open()).
#pragma once

#include "platform/portable/host_files.h"
#include "platform/portable/machine_root.h"
#include "platform/run_log.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelto::platform::portable {

class FileRunLog final : public FileRunLogBase {
public:
    // The file `name` in the folders `folders` below `base`; `base` is opened as it is (the
    // machine's own place), and `shown` names the log in messages.
    FileRunLog(std::filesystem::path base, std::vector<std::string> folders, std::string name,
               std::string shown);
    // log/PeltoUserInstall_H.log below the machine root.
    static std::unique_ptr<FileRunLog> of_machine(const MachineRoot& machine);
    // The file a Windows path of the machine names (/LOG=); null when it names none.
    static std::unique_ptr<FileRunLog> at(const MachineRoot& machine, TextView windows_path);
    ~FileRunLog() override;
    FileRunLog(const FileRunLog&) = delete;
    FileRunLog& operator=(const FileRunLog&) = delete;

private:
    std::string_view line_end() const override { return "\n"; }
    std::optional<std::string> open_file() override;
    bool append(std::string_view record) override;
    void lost(const std::string& reason) override;

    std::filesystem::path base_;
    std::vector<std::string> folders_;
    std::string name_;
    std::string shown_;
    UniqueFd fd_;
};

} // namespace pelto::platform::portable
