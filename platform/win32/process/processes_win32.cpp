#include "platform/win32/process/processes_win32.h"

#include "core/error.h"
#include "platform/win32/handles.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"

// sddl.h and tlhelp32.h need the Windows types first.
// clang-format off
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <versionhelpers.h>
// clang-format on

#include <array>
#include <string>
#include <vector>

namespace pelto::platform::win32 {

namespace {

struct LocalMemoryTraits {
    static HLOCAL invalid() { return nullptr; }
    static void close(HLOCAL h) { ::LocalFree(h); }
};
using LocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

// The programs of `job` still running, by image name and id.
std::vector<LeftRunning> processes_in(HANDLE job) {
    // Room for far more programs than an installer leaves behind; a longer list is cut.
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        std::array<ULONG_PTR, 255> more;
    } ids{};
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr) &&
        GetLastError() != ERROR_MORE_DATA) {
        return {};
    }
    std::vector<LeftRunning> left;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        left.push_back(LeftRunning{static_cast<uint32_t>(ids.list.ProcessIdList[i]), "?"});
    }
    // Names from a snapshot of all processes: it needs no right on the processes.
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool more = snapshot && Process32FirstW(snapshot.get(), &entry);
    while (more) {
        for (LeftRunning& process : left) {
            if (process.id == entry.th32ProcessID) {
                process.name = to_utf8(from_wide(entry.szExeFile));
            }
        }
        more = Process32NextW(snapshot.get(), &entry) != FALSE;
    }
    return left;
}

class Win32Process final : public Process {
public:
    Win32Process(RunLog& log, std::string program, uint32_t id, KernelHandle process,
                 KernelHandle job)
        : log_(log), program_(std::move(program)), id_(id), process_(std::move(process)),
          job_(std::move(job)) {}

    uint32_t id() const override { return id_; }

    std::optional<uint32_t> wait_for_exit() override {
        // The handle the start returned: it needs no later opening by the process id,
        // which the program's own rights may refuse, so the wait cannot end early.
        // The wait blocks in the kernel until the process ends: no polling, no CPU used,
        // and an exit code that happens to be STILL_ACTIVE (259) cannot keep it going.
        if (WaitForSingleObject(process_.get(), INFINITE) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.get(), &code)) {
            return std::nullopt;
        }
        report_left_processes();
        return code;
    }

private:
    void report_left_processes() {
        if (!job_) {
            return;
        }
        const std::vector<LeftRunning> left = processes_in(job_.get());
        if (left.empty()) {
            return;
        }
        log_.write(left_running_line(program_, left));
        job_.reset(); // reported once
    }

    RunLog& log_;
    std::string program_;
    uint32_t id_;
    KernelHandle process_;
    // Closing it ends nothing: the job has no kill-on-close limit.
    KernelHandle job_;
};

// A job that only watches: programs in it may leave it (an installer that asks for
// that keeps working) and nothing in it is ended when the job's handle is closed.
KernelHandle watching_job() {
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        return job;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        job.reset();
    }
    return job;
}

// Gives the suspended `process` its own handle to the run's claim, inheritable there, so
// that it and what it starts with handle inheritance keep the claim while they run. A
// handle placed into the process, rather than inherited through CreateProcessW, leaves
// its standard handles as they are and passes it nothing else.
void hand_over_claim(RunLog& log, HANDLE claim, HANDLE process, const std::string& program) {
    HANDLE in_program = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), claim, process, &in_program, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        log.write(program + " does not hold the run's claim of the machine's one run: " +
                  describe_win32_error(GetLastError()));
    }
}

// Places the suspended `process` in a watching job; an empty handle when it cannot be
// (logged).
KernelHandle watch(RunLog& log, HANDLE process, const std::string& program) {
    // Windows before 8 has no nested jobs: a program placed in a job there could not
    // use jobs of its own, which some installers do. It is not watched there.
    if (!IsWindows8OrGreater()) {
        log.write("programs left running by " + program +
                  " cannot be listed on this Windows version (no nested jobs)");
        return {};
    }
    KernelHandle job = watching_job();
    if (!job || !AssignProcessToJobObject(job.get(), process)) {
        // A job this program itself runs in may forbid it.
        log.write("programs left running by " + program +
                  " cannot be listed: " + describe_win32_error(GetLastError()));
        job.reset();
    }
    return job;
}

} // namespace

std::unique_ptr<Process> Win32Processes::start(TextView path, int show_command,
                                               TextView working_folder) {
    const std::wstring application = wide(path);
    const std::wstring folder = wide(working_folder);
    // The command line repeats the program's path, quoted, as its first argument.
    std::wstring command_line = L"\"" + application + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show_command);

    LocalMemory closed_rights;
    SECURITY_ATTRIBUTES process_rights{sizeof process_rights, nullptr, FALSE};
    if (options_.deny_open_by_id) {
        PSECURITY_DESCRIPTOR nobody = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1, &nobody,
                                                             nullptr);
        closed_rights.reset(nobody);
        process_rights.lpSecurityDescriptor = nobody;
    }

    // Suspended until it holds the claim and is in its job: nothing of it runs before.
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(application.c_str(), command_line.data(),
                        options_.deny_open_by_id ? &process_rights : nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &created)) {
        const DWORD error = GetLastError();
        log_os_failure(log_, win32_failure(error, "CreateProcessW", path));
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                             error == ERROR_INVALID_NAME;
        throw VbError::runtime(missing ? vberr::kFileNotFound : vberr::kInvalidProcedureCall);
    }
    KernelHandle process(created.hProcess);
    const KernelHandle thread(created.hThread);
    const std::string program = to_utf8(path);

    if (claim_.section) {
        hand_over_claim(log_, claim_.section.get(), process.get(), program);
    }
    KernelHandle job = watch(log_, process.get(), program);
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        log_last_error(log_, "ResumeThread", path);
        TerminateProcess(process.get(), 1);
        throw VbError::runtime(vberr::kInvalidProcedureCall);
    }
    return std::make_unique<Win32Process>(log_, program, created.dwProcessId, std::move(process),
                                          std::move(job));
}

std::optional<std::string> Win32Processes::cannot_start(TextView path) {
    const std::wstring program = wide(path);
    DWORD kind = 0;
    if (GetBinaryTypeW(program.c_str(), &kind)) {
        return std::nullopt;
    }
    return describe_win32_error(GetLastError());
}

} // namespace pelto::platform::win32
