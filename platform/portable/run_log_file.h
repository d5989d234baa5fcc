// The run log as a file: one line per event, "YYYY-MM-DD HH:MM:SS.mmm text", appended.
// The folder is created on the first line. When the file cannot be opened, standard
// error says so once and the lines go; the run never stops for its log.
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
    LocalTime local_time() const override;
    std::string_view line_end() const override { return "\n"; }
    bool append(std::string_view record) override;

    std::filesystem::path path_;
    UniqueFd fd_;
    bool failed_ = false;
};

} // namespace pelto::platform::portable
