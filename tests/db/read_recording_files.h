// A file system that passes every call to another one and notes the size of every read
// made through the files it opens, so that a test can see how a file is streamed.
#pragma once

#include "platform/filesystem.h"

#include <memory>
#include <vector>

namespace pelto::dbtest {

class ReadRecordingFiles final : public platform::FileSystem {
public:
    explicit ReadRecordingFiles(platform::FileSystem& files) : files_(files) {}

    std::vector<platform::DirEntry> list(TextView pattern, uint32_t attribute_filter) override {
        return files_.list(pattern, attribute_filter);
    }
    std::optional<uint32_t> get_attributes(TextView path) override {
        return files_.get_attributes(path);
    }
    bool set_attributes(TextView path, uint32_t attributes) override {
        return files_.set_attributes(path, attributes);
    }
    bool delete_files(TextView pattern) override { return files_.delete_files(pattern); }
    bool remove_link(TextView path) override { return files_.remove_link(path); }
    bool create_directory(TextView path) override { return files_.create_directory(path); }
    bool create_private_directory(TextView path) override {
        return files_.create_private_directory(path);
    }
    bool remove_directory(TextView path) override { return files_.remove_directory(path); }
    std::unique_ptr<platform::File> open_file(TextView path, platform::FileMode mode) override;
    Text program_folder() override { return files_.program_folder(); }

    // The buffer size of every read, in order, over all files opened here.
    std::vector<size_t> read_sizes;

private:
    platform::FileSystem& files_;
};

} // namespace pelto::dbtest
