// The real file system, noting the size of every read made through the files it opens,
// so that a test can see how a file is streamed.
#pragma once

#include "platform/filesystem.h"
#include "tests/support/recording.h"

#include <memory>
#include <vector>

namespace pelto::dbtest {

class ReadRecordingFiles final : public testing::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::unique_ptr<platform::File> open_file(TextView path, platform::FileMode mode) override;

    // The buffer size of every read, in order, over all files opened here.
    std::vector<size_t> read_sizes;
};

} // namespace pelto::dbtest
