#include "platform/win32/security/session_win32.h"

#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"

#include <cstring>
#include <optional>

// aclapi.h and sddl.h need the Windows types first.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

namespace pelto::platform::win32 {

namespace {

// Owner Administrators; SYSTEM and Administrators may do anything with it, nobody else
// may even open it, so no standard user can hold, read or wait on a run's claim.
constexpr const wchar_t* kClaimSddl = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

struct LocalMemoryTraits {
    static HLOCAL invalid() { return nullptr; }
    static void close(HLOCAL h) { ::LocalFree(h); }
};
using LocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

struct MappedViewTraits {
    static void* invalid() { return nullptr; }
    static void close(void* view) { ::UnmapViewOfFile(view); }
};
using MappedView = UniqueResource<void*, MappedViewTraits>;

// What the claim's section holds: the run that made it.
struct ClaimRecord {
    uint32_t process_id;
    uint32_t unused;
    uint64_t created; // the process's creation time (FILETIME)
};

// When the running process `id` was created; nullopt when it has ended or cannot be
// asked.
std::optional<uint64_t> creation_time(DWORD id) {
    const KernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
    FILETIME created{};
    FILETIME unused[3]{};
    if (!process || WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT ||
        !GetProcessTimes(process.get(), &created, &unused[0], &unused[1], &unused[2])) {
        return std::nullopt;
    }
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32U) | created.dwLowDateTime;
}

// Writes this process into the section it has just made.
void write_record(HANDLE section) {
    const MappedView view(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(ClaimRecord)));
    if (!view) {
        return; // a claim without its record: a refused run names no process
    }
    const DWORD id = GetCurrentProcessId();
    const ClaimRecord record{id, 0, creation_time(id).value_or(0)};
    std::memcpy(view.get(), &record, sizeof record);
}

// The run that made the section, as its record says.
RunHolder holder_in(HANDLE section) {
    const MappedView view(MapViewOfFile(section, FILE_MAP_READ, 0, 0, sizeof(ClaimRecord)));
    if (!view) {
        return {};
    }
    ClaimRecord record{};
    std::memcpy(&record, view.get(), sizeof record);
    if (record.process_id == 0) {
        return {}; // made a moment ago, its record not yet written
    }
    return RunHolder{record.process_id, creation_time(record.process_id) == record.created};
}

// Whether an administrator made the object: only a token holding Administrators (or
// SYSTEM's) can give it that owner. Otherwise the owner as SDDL text, for the log.
bool made_by_an_administrator(HANDLE object, std::string& owner_text) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &raw) != ERROR_SUCCESS) {
        owner_text = "unknown";
        return false;
    }
    const LocalMemory descriptor(raw);
    if (owner != nullptr && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                             IsWellKnownSid(owner, WinLocalSystemSid))) {
        return true;
    }
    wchar_t* text = nullptr;
    if (owner != nullptr && ConvertSidToStringSidW(owner, &text)) {
        const LocalMemory text_memory(text);
        owner_text = to_utf8(from_wide(text));
    } else {
        owner_text = "unknown";
    }
    return false;
}

} // namespace

Win32Session::Win32Session(RunLog& log, HeldRunClaim& claim, std::wstring name)
    : log_(log), claim_(claim), name_(std::move(name)) {}

bool Win32Session::elevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        log_last_error(log_, "OpenProcessToken", u"the process token");
        return false;
    }
    const KernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        log_last_error(log_, "GetTokenInformation", u"TokenElevation");
        return false;
    }
    return elevation.TokenIsElevated != 0;
}

uint32_t Win32Session::process_id() const {
    return GetCurrentProcessId();
}

SingleRunClaim Win32Session::claim_single_run() {
    if (claim_.section) {
        return SingleRunClaim::granted(); // claimed already by this run
    }
    const Text name = from_wide(name_);
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kClaimSddl, SDDL_REVISION_1, &raw,
                                                              nullptr)) {
        log_last_error(log_, "ConvertStringSecurityDescriptorToSecurityDescriptorW", name);
        return SingleRunClaim::granted();
    }
    const LocalMemory rights(raw);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, raw, FALSE};
    // Backed by the paging file: the claim is the name's existence, which lasts while a
    // handle is open, and the record in it.
    KernelHandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                            sizeof(ClaimRecord), name_.c_str()));
    const DWORD error = GetLastError();
    if (section && error != ERROR_ALREADY_EXISTS) {
        write_record(section.get());
        claim_.section = std::move(section);
        return SingleRunClaim::granted();
    }
    std::string owner = "unknown";
    if (section && made_by_an_administrator(section.get(), owner)) {
        return SingleRunClaim::refused(holder_in(section.get()));
    }
    if (!section && error == ERROR_INVALID_HANDLE) {
        return claim_held_by_another_kind(name); // the name is some other kind of object
    }
    if (!section && error != ERROR_ACCESS_DENIED) {
        log_os_failure(log_, win32_failure(error, "CreateFileMappingW", name));
        return SingleRunClaim::granted();
    }
    // A run's own section never shuts administrators out, nor has another owner.
    log_not_a_run(name, owner);
    return SingleRunClaim::granted();
}

SingleRunClaim Win32Session::claim_held_by_another_kind(const Text& name) {
    // An older version's run claims the name as a mutex, with the same owner and rights.
    const KernelHandle mutex(OpenMutexW(READ_CONTROL | SYNCHRONIZE, FALSE, name_.c_str()));
    const DWORD error = GetLastError();
    std::string owner = "unknown";
    if (mutex && made_by_an_administrator(mutex.get(), owner)) {
        return SingleRunClaim::refused({}); // which process holds it, such a mutex does not say
    }
    if (!mutex && error != ERROR_ACCESS_DENIED) {
        log_.write("the single-run name " + to_utf8(name) +
                   " is taken by an object no run of this program makes: it proves no other "
                   "run; going on without the claim");
        return SingleRunClaim::granted();
    }
    log_not_a_run(name, owner);
    return SingleRunClaim::granted();
}

void Win32Session::log_not_a_run(const Text& name, const std::string& owner) {
    log_.write("the single-run claim " + to_utf8(name) +
               " was made by a user without administrator rights (owner " + owner +
               "): it proves no other run; going on without it");
}

} // namespace pelto::platform::win32
