#include "platform/win32/processes_win32.h"

#include "core/error.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

#include <windows.h>

namespace pelto::platform::win32 {

namespace {

// Right to wait on the process and to read its exit code (0x400), as the wait needs.
constexpr DWORD kWaitAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;

class Win32Process final : public Process {
public:
    Win32Process(uint32_t id, KernelHandle handle) : id_(id), handle_(std::move(handle)) {}

    uint32_t id() const override { return id_; }

    std::optional<uint32_t> wait_for_exit() override {
        if (!handle_) {
            return std::nullopt;
        }
        // Blocks in the kernel until the process ends: no polling, no CPU used, and an
        // exit code that happens to be STILL_ACTIVE (259) cannot keep the wait going.
        if (WaitForSingleObject(handle_.get(), INFINITE) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        if (!GetExitCodeProcess(handle_.get(), &code)) {
            return std::nullopt;
        }
        return code;
    }

private:
    uint32_t id_;
    KernelHandle handle_;
};

} // namespace

std::unique_ptr<Process> Win32Processes::start(TextView path, int show_command) {
    const std::wstring application = wide(path);
    // The command line repeats the program's path, quoted, as its first argument.
    std::wstring command_line = L"\"" + application + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show_command);
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &created)) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                             error == ERROR_INVALID_NAME;
        throw VbError::runtime(missing ? vberr::kFileNotFound : vberr::kInvalidProcedureCall);
    }
    const KernelHandle creation_process(created.hProcess);
    const KernelHandle creation_thread(created.hThread);
    const uint32_t id = created.dwProcessId;
    // The program is waited for through a handle opened by its identifier, inheritable,
    // with the query right. The handle from the creation is held until then, so the
    // identifier cannot be reused by another process in between even when the program
    // has already ended.
    KernelHandle waitable(OpenProcess(kWaitAccess, TRUE, id));
    return std::make_unique<Win32Process>(id, std::move(waitable));
}

} // namespace pelto::platform::win32
