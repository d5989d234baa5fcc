// Another user swapping a folder at the worst moment: right after the run has opened it
// (found a real folder, checked it), `swap` runs once, to move the folder away and put a
// link in its place. A decorator of the file system, for the tests that prove an open
// folder, or a walk from the drive's root, never leads the run to what the link names.
#pragma once

#include "tests/support/recording.h"

#include <functional>
#include <memory>

namespace pelto::testing {

class SwapAfterOpen final : public ForwardingFileSystem {
public:
    // `watched`: the folder's Windows path, as the run reaches it.
    SwapAfterOpen(platform::FileSystem& files, Text watched, std::function<void()> swap)
        : ForwardingFileSystem(files), watched_(std::move(watched)), swap_(std::move(swap)) {}

    bool fired() const { return fired_; }

protected:
    std::unique_ptr<platform::Folder> wrap(std::unique_ptr<platform::Folder> folder) override {
        return folder ? std::make_unique<Watched>(std::move(folder), *this) : nullptr;
    }

private:
    class Watched final : public ForwardingFolder {
    public:
        Watched(std::unique_ptr<platform::Folder> folder, SwapAfterOpen& owner)
            : ForwardingFolder(std::move(folder)), owner_(owner) {}
        std::unique_ptr<platform::Folder> open_folder(TextView name) override {
            std::unique_ptr<platform::Folder> opened = ForwardingFolder::open_folder(name);
            owner_.opened(opened.get());
            return opened;
        }
        platform::MadeFolder make_private_folder(TextView name,
                                                 platform::PrivateAccess access) override {
            platform::MadeFolder made = ForwardingFolder::make_private_folder(name, access);
            owner_.opened(made.folder.get());
            return made;
        }

    protected:
        std::unique_ptr<platform::Folder> wrap(std::unique_ptr<platform::Folder> folder) override {
            return owner_.wrap(std::move(folder));
        }

    private:
        SwapAfterOpen& owner_;
    };

    void opened(const platform::Folder* folder) {
        if (folder != nullptr && !fired_ && equals_ignore_case(folder->path(), watched_)) {
            fired_ = true;
            swap_();
        }
    }

    Text watched_;
    std::function<void()> swap_;
    bool fired_ = false;
};

} // namespace pelto::testing
