#include "installer/private_folders.h"

#include "core/error.h"

#include <string>

namespace pelto::installer {

namespace {

[[noreturn]] void fail(platform::Platform& p, const std::string& why) {
    p.log.write(why + "; nothing is deleted");
    throw VbError::runtime(vberr::kPathFileAccess);
}

// Moves what is at `path` aside, under a name of its own that nothing has yet.
void move_aside(platform::Platform& p, const Text& path, TextView stamp) {
    const Text base = path + u"." + Text(stamp);
    for (int n = 1; n <= 100; ++n) {
        const Text aside = n == 1 ? base : base + u"-" + from_utf8(std::to_string(n));
        if (p.files.get_attributes(aside)) {
            continue;
        }
        if (!p.files.move(path, aside)) {
            fail(p, to_utf8(path) + " was not made by this program and cannot be moved aside to " +
                        to_utf8(aside));
        }
        p.log.write(to_utf8(path) +
                    " was not made by this program (another user may have "
                    "put things into it): moved aside, whole, to " +
                    to_utf8(aside));
        return;
    }
    fail(p, "no free name to move " + to_utf8(path) + " aside");
}

} // namespace

void prepare_private_folder(platform::Platform& p, TextView path, platform::PrivateAccess access,
                            TextView stamp) {
    const Text folder(path);
    platform::PrivateFolder state = p.files.make_private_directory(folder, access);
    if (state == platform::PrivateFolder::Untrusted) {
        move_aside(p, folder, stamp);
        state = p.files.make_private_directory(folder, access);
        if (state != platform::PrivateFolder::Created) {
            fail(p, "the folder " + to_utf8(folder) + " cannot be made anew");
        }
    }
    if (state == platform::PrivateFolder::Refused) {
        fail(p, "the folder " + to_utf8(folder) + " cannot be made or used");
    }
    p.log.write(std::string(state == platform::PrivateFolder::Created ? "made " : "ready: ") +
                to_utf8(folder));
}

} // namespace pelto::installer
