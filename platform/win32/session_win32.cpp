#include "platform/win32/session_win32.h"

#include "platform/win32/os_failure_win32.h"
#include "platform/win32/wide.h"

// aclapi.h and sddl.h need the Windows types first.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

namespace pelto::platform::win32 {

namespace {

// Owner Administrators; SYSTEM and Administrators may do anything with it, nobody else
// may even open it, so no standard user can hold or wait on a run's claim.
constexpr const wchar_t* kClaimSddl = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

struct LocalMemoryTraits {
    static HLOCAL invalid() { return nullptr; }
    static void close(HLOCAL h) { ::LocalFree(h); }
};
using LocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

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

Win32Session::Win32Session(RunLog& log, std::wstring mutex_name)
    : log_(log), name_(std::move(mutex_name)) {}

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

bool Win32Session::claim_single_run() {
    if (mutex_) {
        return true; // claimed already by this run
    }
    const Text name = from_wide(name_);
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kClaimSddl, SDDL_REVISION_1, &raw,
                                                              nullptr)) {
        log_last_error(log_, "ConvertStringSecurityDescriptorToSecurityDescriptorW", name);
        return true;
    }
    const LocalMemory rights(raw);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, raw, FALSE};
    // Not owned: the claim is the name's existence, which lasts while a handle is open.
    KernelHandle mutex(CreateMutexW(&attributes, FALSE, name_.c_str()));
    const DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS) {
        mutex_ = std::move(mutex);
        return true;
    }
    std::string owner = "unknown";
    if (mutex && made_by_an_administrator(mutex.get(), owner)) {
        return false; // another run holds it
    }
    if (!mutex && error != ERROR_ACCESS_DENIED) {
        log_os_failure(log_, win32_failure(error, "CreateMutexW", name));
        return true;
    }
    // A run's own mutex never shuts administrators out, nor has another owner.
    log_.write("the single-run mutex " + to_utf8(name) +
               " was made by a user without administrator rights (owner " + owner +
               "): it proves no other run; going on without it");
    return true;
}

} // namespace pelto::platform::win32
