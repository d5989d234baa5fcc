// The machine of the Windows build: the program's own Windows platform
// (Win32Machine) with its run log on a folder below %TEMP%, and a key below HKLM\SOFTWARE
// in the 32-bit view the shipped program writes. Its runs claim a single-run name of the
// machine's own, never a run's.
#include "platform/codepage.h"
#include "platform/win32/machine_win32.h"
#include "platform/win32/security/private_folder.h"
#include "platform/win32/security/security_descriptor.h"
#include "platform/win32/wide.h"
#include "tests/contract/system_machine.h"
#include "tests/win32/win32_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sddl.h>
#include <vector>

namespace pelto::contract {

namespace {

using platform::win32::wide;
using win32_test::names_in;
using win32_test::TempFolder;

std::wstring beside_tests(const wchar_t* name) {
    testing::MemoryRunLog unused;
    const Text folder = platform::win32::Win32FileSystem(unused).program_folder();
    return wide(folder) + L"\\" + name;
}

// The log's own record without its time stamp ("YYYY-MM-DD HH:MM:SS.mmm ") and line end,
// the form the Linux build's memory log keeps.
constexpr size_t kStampLength = 24;

} // namespace

struct SystemMachine::Impl {
    TempFolder folder;
    platform::win32::Win32Machine services{folder / L"run.log"};
    std::wstring session_name = win32_test::test_mutex_name();
    Text key;
};

SystemMachine::SystemMachine() : impl_(std::make_unique<Impl>()) {
    CreateDirectoryW((impl_->folder / L"files").c_str(), nullptr);
}

SystemMachine::~SystemMachine() {
    if (!impl_->key.empty()) {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide(impl_->key).c_str(), KEY_WOW64_32KEY, 0);
    }
}

platform::Platform& SystemMachine::platform() {
    return impl_->services.platform();
}

Text SystemMachine::path(TextView relative) const {
    Text out = impl_->folder.text() + u"\\files";
    if (!relative.empty()) {
        out += u'\\';
        out += relative;
    }
    return out;
}

void SystemMachine::write_file(TextView path, std::string_view bytes) const {
    win32_test::write_bytes(wide(path), bytes);
}

std::optional<std::string> SystemMachine::read_file(TextView path) const {
    return win32_test::read_bytes(wide(path));
}

bool SystemMachine::exists(TextView path) const {
    return win32_test::exists(wide(path));
}

void SystemMachine::make_folder(TextView path) const {
    CreateDirectoryW(wide(path).c_str(), nullptr);
}

bool SystemMachine::set_attributes(TextView path, uint32_t attributes) const {
    return platform::paths(impl_->services.platform()).set_attributes(path, attributes);
}

bool SystemMachine::make_link_to_outside(TextView path) const {
    const std::wstring target = impl_->folder / L"outside";
    CreateDirectoryW(target.c_str(), nullptr);
    win32_test::write_bytes(target + L"\\precious.txt", "keep me");
    // Wine answers success without making the link.
    const std::wstring link = wide(path);
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
           win32_test::exists(link) &&
           (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool SystemMachine::make_link(TextView link, TextView target) const {
    // Wine answers success without making the link.
    const std::wstring at = wide(link);
    const std::wstring to = wide(target);
    return CreateSymbolicLinkW(at.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
           win32_test::exists(at) &&
           (GetFileAttributesW(at.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::optional<std::string> SystemMachine::read_outside_precious() const {
    return win32_test::read_bytes(impl_->folder / L"outside\\precious.txt");
}

void SystemMachine::make_folder_others_may_change(TextView path) const {
    const std::wstring folder = wide(path);
    CreateDirectoryW(folder.c_str(), nullptr);
    // Set on the folder made (Wine keeps it as the Unix mode 0777, beyond the umask that
    // would narrow rights given at creation).
    const platform::win32::SddlDescriptor everyone(L"D:(A;OICI;FA;;;WD)");
    const platform::win32::FileHandle handle(
        CreateFileW(folder.c_str(), WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    SetKernelObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, everyone.get());
}

bool SystemMachine::only_administrators_may_read(TextView path) const {
    const platform::win32::FileHandle handle(
        CreateFileW(wide(path).c_str(), READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = ERROR_SUCCESS;
    const platform::win32::LocalMemory rights =
        handle ? platform::win32::read_owner_and_rights(handle.get(), error)
               : platform::win32::LocalMemory();
    if (!rights) {
        return false;
    }
    // Wine reads every file back with an entry for its Unix owner, the program's own user
    // (platform/win32/security/private_folder.h): that entry stands for the administrators there.
    const bool wine = platform::win32::rights_reading() == platform::win32::RightsReading::Wine;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(rights.get(), &owner, &defaulted);
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(rights.get(), &present, &dacl, &defaulted) || !present ||
        dacl == nullptr) {
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace) ||
            static_cast<const ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            return false;
        }
        const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if (!IsWellKnownSid(sid, WinLocalSystemSid) &&
            !IsWellKnownSid(sid, WinBuiltinAdministratorsSid) &&
            !(wine && owner != nullptr && EqualSid(sid, owner))) {
            return false;
        }
    }
    return true;
}

bool SystemMachine::make_hard_link(TextView file, TextView link) const {
    return CreateHardLinkW(wide(link).c_str(), wide(file).c_str(), nullptr) != FALSE;
}

bool SystemMachine::a_held_folder_stays_in_place() const {
    return true;
}

std::string SystemMachine::rights(TextView path) const {
    return win32_test::rights_text(wide(path));
}

void SystemMachine::give_distinctive_rights(TextView path) const {
    // The administrators and the test's own user (under Wine the owner's permission bits)
    // only: Everyone, who may read a new file, may not.
    HANDLE raw = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw);
    const platform::win32::KernelHandle token(raw);
    std::vector<unsigned char> user(256);
    DWORD size = 0;
    LPWSTR sid = nullptr;
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()),
                             &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        return;
    }
    const platform::win32::SddlDescriptor rights(
        std::wstring(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;") + sid + L")");
    LocalFree(sid);
    const platform::win32::FileHandle handle(CreateFileW(
        wide(path).c_str(), WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    SetKernelObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, rights.get());
}

bool SystemMachine::make_file_link_to_outside(TextView path) const {
    const std::wstring folder = impl_->folder / L"outside";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring target = folder + L"\\precious.txt";
    win32_test::write_bytes(target, "keep me");
    // Wine answers success without making the link.
    const std::wstring link = wide(path);
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) && win32_test::exists(link) &&
           (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

class OpenHold final : public SystemMachine::Hold {
public:
    explicit OpenHold(HANDLE file) : file_(file) {}
    ~OpenHold() override { CloseHandle(file_); }
    OpenHold(const OpenHold&) = delete;
    OpenHold& operator=(const OpenHold&) = delete;

private:
    HANDLE file_;
};

} // namespace

std::unique_ptr<SystemMachine::Hold> SystemMachine::keep_from_deletion(TextView path) const {
    const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<OpenHold>(file);
}

void SystemMachine::make_program(TextView path, uint32_t exit_code, bool leave_running) const {
    const std::wstring program = wide(path);
    CopyFileW(beside_tests(L"pelto_win32_test_child.exe").c_str(), program.c_str(), FALSE);
    // The child reads what to do from the file beside it: it gets no arguments.
    win32_test::write_bytes(program + L".how",
                            std::to_string(exit_code) + (leave_running ? " leave" : ""));
}

Text SystemMachine::registry_key() const {
    if (impl_->key.empty()) {
        impl_->key = u"SOFTWARE\\PeltoTest\\키" + from_utf8(std::to_string(GetCurrentProcessId()) +
                                                            "-" + std::to_string(GetTickCount64()));
        HKEY created = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(impl_->key).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &created,
                            nullptr) == ERROR_SUCCESS) {
            RegCloseKey(created);
        }
    }
    return impl_->key;
}

std::optional<SystemMachine::RegistryValue>
SystemMachine::read_registry_value(TextView key, TextView name) const {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring value_name = wide(name);
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(opened, value_name.c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExW(opened, value_name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size);
    }
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // What RegQueryValueExA gives on a Korean system: the text's code page 949 bytes.
        Text text(data.size() / 2, u'\0');
        std::memcpy(text.data(), data.data(), text.size() * 2);
        if (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        data = to_cp949(text);
        data.push_back('\0');
    }
    return RegistryValue{type, data};
}

namespace {

std::string number(LARGE_INTEGER value) {
    return std::to_string(value.QuadPart);
}

// One line for the entry itself (a link is not followed): its attributes, times but the
// last access, size, owner and rights, and its bytes.
std::string entry_line(const std::wstring& path, const std::wstring& shown) {
    const platform::win32::FileHandle handle(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!handle ||
        !GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle.get(), FileStandardInfo, &standard, sizeof standard)) {
        return to_utf8(win32_test::text_of(shown)) + " unreadable\n";
    }
    std::string out = to_utf8(win32_test::text_of(shown)) + " attributes " +
                      std::to_string(basic.FileAttributes) + " created " +
                      number(basic.CreationTime) + " written " + number(basic.LastWriteTime) +
                      " changed " + number(basic.ChangeTime) + " size " +
                      number(standard.EndOfFile) + " " + win32_test::rights_text(path);
    if ((basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
        out += " bytes " + digest(win32_test::read_bytes(path).value_or("(unreadable)"));
    }
    return out + "\n";
}

void add_tree(const std::wstring& path, const std::wstring& shown, std::string& out) {
    out += entry_line(path, shown);
    if ((GetFileAttributesW(path.c_str()) &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != FILE_ATTRIBUTE_DIRECTORY) {
        return;
    }
    for (const std::wstring& name : names_in(path)) {
        add_tree(path + L"\\" + name, shown + L"\\" + name, out);
    }
}

// The key's own time of last writing, its values (name, type, data) and its subkeys.
void add_key(HKEY parent, const std::wstring& path, std::string& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
        out += "key " + to_utf8(win32_test::text_of(path)) + " missing\n";
        return;
    }
    FILETIME written{};
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, &written);
    out += "key " + to_utf8(win32_test::text_of(path)) + " written " +
           std::to_string(written.dwHighDateTime) + ":" + std::to_string(written.dwLowDateTime) +
           "\n";
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD data_size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &name_size, nullptr, &type, data.data(),
                          &data_size) != ERROR_SUCCESS) {
            break;
        }
        out += "  " + to_utf8(win32_test::text_of(std::wstring_view(name.data(), name_size))) +
               " type " + std::to_string(type) + " data " +
               digest(std::string_view(reinterpret_cast<const char*>(data.data()), data_size)) +
               "\n";
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD name_size = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, i, name.data(), &name_size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys.emplace_back(name.data(), name_size);
    }
    RegCloseKey(key);
    for (const std::wstring& subkey : subkeys) {
        add_key(parent, path + L"\\" + subkey, out);
    }
}

} // namespace

std::string SystemMachine::snapshot() const {
    std::string out;
    add_tree(impl_->folder / L"files", L"files", out);
    add_tree(impl_->folder / L"outside", L"outside", out);
    if (!impl_->key.empty()) {
        add_key(HKEY_LOCAL_MACHINE, wide(impl_->key), out);
    }
    return out;
}

namespace {

class Win32Run final : public SystemMachine::Run {
public:
    Win32Run(platform::RunLog& log, const std::wstring& name)
        : session_(log, claim_, name), processes_(log, claim_) {}
    platform::Session& session() override { return session_; }
    platform::Processes& processes() override { return processes_; }

private:
    platform::win32::HeldRunClaim claim_;
    platform::win32::Win32Session session_;
    platform::win32::Win32Processes processes_;
};

} // namespace

std::unique_ptr<SystemMachine::Run> SystemMachine::make_run() const {
    return std::make_unique<Win32Run>(impl_->services.log(), impl_->session_name);
}

std::unique_ptr<platform::FileRunLogBase> SystemMachine::make_file_log(TextView path) const {
    return std::make_unique<platform::win32::Win32RunLog>(wide(path));
}

std::vector<std::string> SystemMachine::log_lines() const {
    std::vector<std::string> lines;
    const std::string text = win32_test::read_bytes(impl_->folder / L"run.log").value_or("");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view record(text.data() + start, end - start);
        lines.emplace_back(record.size() > kStampLength ? record.substr(kStampLength)
                                                        : std::string_view());
        start = end + 2;
    }
    return lines;
}

} // namespace pelto::contract
