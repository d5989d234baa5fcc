// The run log as a file: one line per event, "YYYY-MM-DD HH:MM:SS.mmm text", appended.
// Its missing folders are made when it is opened; a link in its place, or a file with a
// second name, is refused (run_log_refusal). When the file cannot be opened on the first
// line, standard error says so once and the lines go; the run never stops for its log
// unless it asked for it by name (open()).
#pragma once

#include "platform/portable/host_files.h"
#include "platform/run_log.h"

#include <filesystem>

namespace pelto::platform::portable {

class FileRunLog final : public FileRunLogBase {
public:
    explicit FileRunLog(std::filesystem::path path);
    ~FileRunLog() override;
    FileRunLog(const FileRunLog&) = delete;
    FileRunLog& operator=(const FileRunLog&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::string_view line_end() const override { return "\n"; }
    std::optional<std::string> open_file() override;
    bool append(std::string_view record) override;
    void lost(const std::string& reason) override;

    std::filesystem::path path_;
    UniqueFd fd_;
};

} // namespace pelto::platform::portable
