#include "platform/portable/session_portable.h"

#include "platform/portable/host_failure.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>

namespace pelto::platform::portable {

namespace {

constexpr TextView kLockName = u"log\\PeltoUserInstall_H.lock";

} // namespace

PortableSession::PortableSession(const MachineRoot& machine, RunLog& log)
    : machine_(machine), log_(log) {}

bool PortableSession::claim_single_run() {
    if (lock_.valid()) {
        return true; // claimed already by this run
    }
    const std::filesystem::path file = machine_.run_lock_file();
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    // Never through a link: the lock is the run's own file in the run's own folder.
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        log_errno_failure(log_, "open", kLockName, file);
        return true;
    }
    int rc = 0;
    do {
        rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno == EWOULDBLOCK) {
            return false;
        }
        log_errno_failure(log_, "flock", kLockName, file);
        return true;
    }
    lock_ = std::move(fd);
    return true;
}

} // namespace pelto::platform::portable
