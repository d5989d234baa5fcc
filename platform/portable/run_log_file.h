// The run log as a file: one line per event, "YYYY-MM-DD HH:MM:SS.mmm text", appended.
// The folder is created on the first line. Writing never throws and never stops the
// run: when the file cannot be opened, standard error says so once and the lines go.
#pragma once

#include "platform/run_log.h"

#include <filesystem>
#include <mutex>

namespace pelto::platform::portable {

class FileRunLog final : public RunLog {
public:
    explicit FileRunLog(std::filesystem::path path);
    ~FileRunLog() override;
    FileRunLog(const FileRunLog&) = delete;
    FileRunLog& operator=(const FileRunLog&) = delete;

    void write(std::string_view line) override;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::mutex mutex_;
    int fd_ = -1;
    bool failed_ = false;
};

} // namespace pelto::platform::portable
