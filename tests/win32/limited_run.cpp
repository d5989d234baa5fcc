// Runs a program as an administrator's unelevated process would run it: with the filtered
// token UAC links to the elevated one (what __COMPAT_LAYER=RunAsInvoker or a policy that
// strips the token gives). Wine grants every process full rights but keeps that linked
// token, so the end-to-end run can show a run without administrator rights.
//   pelto_limited_run.exe PROGRAM [ARGUMENT...]    exit status: the program's
// Arguments are passed on as this program received them.
#include <string>
#include <windows.h>

namespace {

// The command line after this program's own name.
const wchar_t* rest_of_command_line() {
    const wchar_t* at = GetCommandLineW();
    bool quoted = false;
    for (; *at != L'\0' && (quoted || (*at != L' ' && *at != L'\t')); ++at) {
        if (*at == L'"') {
            quoted = !quoted;
        }
    }
    while (*at == L' ' || *at == L'\t') {
        ++at;
    }
    return at;
}

} // namespace

int main() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return 101;
    }
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    const BOOL has_linked =
        GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size);
    CloseHandle(token);
    if (!has_linked) {
        return 102;
    }
    TOKEN_ELEVATION elevation{};
    if (!GetTokenInformation(linked.LinkedToken, TokenElevation, &elevation, sizeof elevation,
                             &size) ||
        elevation.TokenIsElevated != 0) {
        return 103; // not the filtered token: the check would prove nothing
    }
    std::wstring command_line = rest_of_command_line();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessAsUserW(linked.LinkedToken, nullptr, command_line.data(), nullptr, nullptr,
                              FALSE, 0, nullptr, nullptr, &startup, &created)) {
        return 104;
    }
    WaitForSingleObject(created.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(created.hProcess, &code);
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    CloseHandle(linked.LinkedToken);
    return static_cast<int>(code);
}
