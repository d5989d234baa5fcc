// The shell copy on the mapped machine. Like the shell's with no flags, it shows progress
// for long copies, asks before replacing a file and reports its own errors (on stderr);
// unattended it neither shows progress nor asks.
// A copy is written to a temporary name in the destination folder and renamed at the
// end, so a failed copy never leaves half a file behind.
#include "platform/portable/shell_copy_portable.h"

#include "platform/portable/dos_attributes.h"
#include "platform/portable/folder_portable.h"
#include "platform/portable/host_failure.h"
#include "platform/portable/host_files.h"
#include "platform/portable/terminal_ui.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <variant>
#include <vector>

namespace pelto::platform::portable {

namespace {

// Statuses as SHFileOperation reports them.
constexpr int kDone = 0;
constexpr int kFileNotFound = 2;     // ERROR_FILE_NOT_FOUND
constexpr int kPathNotFound = 3;     // ERROR_PATH_NOT_FOUND
constexpr int kAccessDenied = 5;     // ERROR_ACCESS_DENIED
constexpr int kDiskFull = 112;       // ERROR_DISK_FULL
constexpr int kSameFile = 0x71;      // DE_SAMEFILE
constexpr int kCancelled = 0x75;     // DE_OPCANCELLED
constexpr int kUnknownError = 0x402; // an unknown error occurred

// Copies larger than this show a progress line.
constexpr off_t kProgressThreshold = off_t{4} * 1024 * 1024;
int status_of(int error) {
    switch (error) {
    case ENOENT:
        return kFileNotFound;
    case ENOTDIR:
        return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return kAccessDenied;
    case ENOSPC:
    case EDQUOT:
        return kDiskFull;
    default:
        return kUnknownError;
    }
}

int report(TextView source, TextView destination, const std::string& reason, int status) {
    std::cerr << "[파일 복사 오류] " << to_utf8(source) << " -> " << to_utf8(destination) << ": "
              << reason << '\n';
    return status;
}

int report_errno(TextView source, TextView destination, const std::string& what, int error) {
    return report(source, destination, what + ": " + std::strerror(error), status_of(error));
}

class Progress {
public:
    Progress(std::string name, off_t total)
        : name_(std::move(name)), total_(total), shown_(total > kProgressThreshold) {}
    void update(off_t done) {
        if (!shown_) {
            return;
        }
        const int percent = total_ > 0 ? static_cast<int>(done * 100 / total_) : 100;
        if (percent != last_) {
            last_ = percent;
            std::cerr << "\r복사 중: " << name_ << ' ' << percent << '%' << std::flush;
        }
    }
    void finish() {
        if (shown_ && last_ >= 0) {
            std::cerr << '\n';
        }
    }

private:
    std::string name_;
    off_t total_;
    bool shown_;
    int last_ = -1;
};

// Permission bits, the DOS attributes and the last-write time go with a copied file, as
// the shell's copy keeps them; a copy whose file system keeps none of them is still whole.
void carry_metadata(int source_fd, const struct stat& source, int copy_fd) {
    (void)::fchmod(copy_fd, source.st_mode & 07777);
    std::vector<char> attributes(256);
    const ssize_t attr_size =
        ::fgetxattr(source_fd, dos::kXattrName, attributes.data(), attributes.size());
    if (attr_size > 0) {
        (void)::fsetxattr(copy_fd, dos::kXattrName, attributes.data(),
                          static_cast<size_t>(attr_size), 0);
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    (void)::futimens(copy_fd, times);
}

} // namespace

PortableShellCopy::PortableShellCopy(const MachineRoot& machine, RunLog& log, Terminal& terminal)
    : machine_(machine), log_(log), terminal_(terminal) {}

// The checks the shell makes before it copies anything; a status (reported as the shell
// reports it) when the copy must not be made, or where it goes.
std::variant<PortableShellCopy::Plan, int> PortableShellCopy::plan(TextView source_file,
                                                                   Folder& destination) const {
    namespace fs = std::filesystem;
    const TextView destination_folder = destination.path();
    // A link is followed as the shell follows it, but never off the machine.
    const std::optional<fs::path> named = machine_.to_host(source_file);
    std::optional<fs::path> source;
    if (named) {
        source = machine_.follow_links(*named);
    }
    std::error_code ec;
    if (!source || !fs::exists(*source, ec)) {
        return report(source_file, destination_folder, "지정된 파일을 찾을 수 없습니다.",
                      kFileNotFound);
    }
    auto* const folder = dynamic_cast<PortableFolder*>(&destination.opened());
    if (folder == nullptr) {
        return report(source_file, destination_folder, "대상 폴더를 찾을 수 없습니다.",
                      kPathNotFound);
    }
    if (fs::is_directory(*source, ec)) {
        return report(source_file, destination_folder, "폴더는 복사할 수 없습니다.", kAccessDenied);
    }
    // The copy keeps the source's own name; an existing file of that name in any letter
    // case is the one replaced, as on Windows.
    Plan out{*source, folder->descriptor(), folder->host_path(), named->filename().string(), {}};
    const std::optional<std::vector<DirEntry>> listed =
        destination.list(from_utf8(out.name), attr::kHidden | attr::kSystem | attr::kDirectory);
    if (!listed) {
        return report(source_file, destination_folder, "대상 폴더를 읽을 수 없습니다.",
                      kAccessDenied);
    }
    const std::vector<DirEntry>& there = *listed;
    if (!there.empty()) {
        out.name = to_utf8(there.front().name);
    }
    out.destination_file = Text(destination_folder);
    if (!out.destination_file.empty() && out.destination_file.back() != u'\\') {
        out.destination_file += u'\\';
    }
    out.destination_file += from_utf8(out.name);
    struct stat target {};
    if (!there.empty() &&
        ::fstatat(out.folder, out.name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        struct stat from {};
        if (::stat(source->c_str(), &from) == 0 && from.st_dev == target.st_dev &&
            from.st_ino == target.st_ino) {
            return report(source_file, destination_folder,
                          "원본 파일과 대상 파일이 같으므로 복사할 수 없습니다.", kSameFile);
        }
        if (S_ISDIR(target.st_mode)) {
            return report(source_file, destination_folder,
                          "같은 이름의 폴더가 있어 복사할 수 없습니다.", kAccessDenied);
        }
        // Unattended, the file is replaced without a question, as the shell does with
        // FOF_NOCONFIRMATION.
        const bool replace =
            unattended() ||
            terminal::ask_yes_no(terminal_,
                                 "이 위치에 이름이 같은 파일 '" + out.name +
                                     "'이(가) 이미 있습니다. 파일을 바꾸시겠습니까?",
                                 true);
        if (!replace) {
            terminal_.notes() << "(파일 복사: '" << out.name << "' 건너뜀)\n";
            return kCancelled;
        }
    }
    return out;
}

int PortableShellCopy::copy_file(const OwnerWindow& /*owner*/, TextView source_file,
                                 Folder& destination) {
    const std::variant<Plan, int> planned = plan(source_file, destination);
    const Text destination_folder = destination.path();
    if (const int* status = std::get_if<int>(&planned)) {
        return *status;
    }
    const Plan& copy = std::get<Plan>(planned);

    // The system call that stops the copy goes to the run log; its reason is also
    // reported as the shell reports it.
    const auto refused = [&](int error, const char* call, TextView subject,
                             const std::filesystem::path& host, const std::string& what) {
        log_os_failure(log_, errno_failure(error, call, subject, host));
        return report_errno(source_file, destination_folder, what, error);
    };
    const std::string cannot_open = "원본을 열 수 없습니다";
    const std::string cannot_read = "원본을 읽을 수 없습니다";
    const std::string cannot_write = "대상에 쓸 수 없습니다";

    UniqueFd in(::open(copy.source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        return refused(errno, "open", source_file, copy.source, cannot_open);
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) {
        return refused(errno, "fstat", source_file, copy.source, cannot_read);
    }

    // Written beside the target in the held folder and renamed over it at the end: a
    // failed copy leaves neither half a file nor a damaged old one.
    AtomicFile out(copy.folder, copy.name);
    const std::filesystem::path& folder = copy.folder_host;
    HostRefusal refusal;
    const auto write_refused = [&]() {
        return refused(refusal.error_number, refusal.call, copy.destination_file,
                       folder / out.temporary_name(), cannot_write);
    };
    if (!out.open(refusal)) {
        return write_refused();
    }

    Progress progress(copy.name, unattended() ? 0 : st.st_size); // no progress unattended
    std::vector<char> buffer(size_t{1} << 20);
    off_t done = 0;
    while (true) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            progress.finish();
            return refused(error, "read", source_file, copy.source, cannot_read);
        }
        if (n == 0) {
            break;
        }
        if (!out.write(std::string_view(buffer.data(), static_cast<size_t>(n)), refusal)) {
            progress.finish();
            return write_refused();
        }
        done += n;
        progress.update(done);
    }
    progress.finish();

    carry_metadata(in.get(), st, out.fd());
    if (!out.commit(refusal)) {
        if (std::string_view(refusal.call) == "renameat") {
            return refused(refusal.error_number, refusal.call, copy.destination_file,
                           folder / copy.name, "대상 파일을 바꿀 수 없습니다");
        }
        return write_refused();
    }
    return kDone;
}

} // namespace pelto::platform::portable
