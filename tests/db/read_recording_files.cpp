#include "tests/db/read_recording_files.h"

namespace pelto::dbtest {

namespace {

class ReadRecordingFile final : public platform::File {
public:
    ReadRecordingFile(std::unique_ptr<platform::File> file, std::vector<size_t>& reads)
        : file_(std::move(file)), reads_(reads) {}
    std::optional<uint64_t> size() override { return file_->size(); }
    std::optional<size_t> read(std::span<uint8_t> buffer) override {
        reads_.push_back(buffer.size());
        return file_->read(buffer);
    }
    bool write(std::span<const uint8_t> data) override { return file_->write(data); }

private:
    std::unique_ptr<platform::File> file_;
    std::vector<size_t>& reads_;
};

} // namespace

std::unique_ptr<platform::File> ReadRecordingFiles::open_file(TextView path,
                                                              platform::FileMode mode) {
    std::unique_ptr<platform::File> file = files_.open_file(path, mode);
    if (!file) {
        return nullptr;
    }
    return std::make_unique<ReadRecordingFile>(std::move(file), read_sizes);
}

} // namespace pelto::dbtest
