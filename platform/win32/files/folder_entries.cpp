#include "platform/win32/files/folder_entries.h"

#include <winternl.h>

namespace pelto::platform::win32 {

namespace {

// The NTSTATUS values this file tells apart (ntstatus.h clashes with windows.h).
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000FL);
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003AL);
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAL);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103L);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);
constexpr NTSTATUS kProcedureNotFound = static_cast<NTSTATUS>(0xC000007AL);

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
using NtSetInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                  FILE_INFORMATION_CLASS);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

struct Ntdll {
    NtCreateFileCall create_file = nullptr;
    NtSetInformationFileCall set_information = nullptr;
    StatusToErrorCall status_to_error = nullptr;
};

template <typename Call> Call find_call(HMODULE ntdll, const char* name) {
    // The documented way from a found procedure to its real type.
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

const Ntdll& ntdll() {
    static const Ntdll calls = [] {
        Ntdll found;
        if (const HMODULE module = GetModuleHandleW(L"ntdll.dll")) {
            found.create_file = find_call<NtCreateFileCall>(module, "NtCreateFile");
            found.set_information =
                find_call<NtSetInformationFileCall>(module, "NtSetInformationFile");
            found.status_to_error = find_call<StatusToErrorCall>(module, "RtlNtStatusToDosError");
        }
        return found;
    }();
    return calls;
}

unsigned long error_of(NTSTATUS status) {
    if (status == kProcedureNotFound || ntdll().status_to_error == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    return ntdll().status_to_error(status);
}

OpenedEntry nt_open(HANDLE folder, std::wstring_view name, ACCESS_MASK access, unsigned long share,
                    unsigned long disposition, unsigned long options,
                    PSECURITY_DESCRIPTOR security) {
    OpenedEntry out;
    if (ntdll().create_file == nullptr) {
        out.status = kProcedureNotFound;
        out.error = error_of(out.status);
        return out;
    }
    UNICODE_STRING object_name{};
    object_name.Buffer = const_cast<PWSTR>(name.data());
    object_name.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    object_name.MaximumLength = object_name.Length;
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    out.status = ntdll().create_file(
        &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
        disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (NT_SUCCESS(out.status)) {
        out.handle.reset(handle);
    } else {
        out.error = error_of(out.status);
    }
    return out;
}

// What the listing's two record layouts share.
template <typename Record> ListedEntry entry_of(const Record& record) {
    ListedEntry entry;
    entry.name.assign(record.FileName, record.FileNameLength / sizeof(wchar_t));
    entry.attributes = record.FileAttributes;
    return entry;
}

} // namespace

bool OpenedEntry::missing() const {
    return status == kNoSuchFile || status == kNameNotFound || status == kPathNotFound;
}

bool OpenedEntry::wrong_kind() const {
    return status == kFileIsADirectory || status == kNotADirectory;
}

bool OpenedEntry::collision() const {
    return status == kNameCollision;
}

bool is_entry_name(std::wstring_view name) {
    if (name.empty() || name.size() > 255 || name == L"." || name == L"..") {
        return false;
    }
    for (const wchar_t c : name) {
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return true;
}

ACCESS_MASK open_folder_access(bool change_attributes) {
    return FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE |
           (change_attributes ? FILE_WRITE_ATTRIBUTES : 0);
}

OpenedEntry open_entry(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                       unsigned long options, unsigned long share) {
    return nt_open(folder, name, access, share, FILE_OPEN, options, nullptr);
}

OpenedEntry create_file_entry(HANDLE folder, std::wstring_view name,
                              PSECURITY_DESCRIPTOR security) {
    return nt_open(folder, name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, FILE_CREATE,
                   FILE_NON_DIRECTORY_FILE, security);
}

OpenedEntry create_replacement_entry(HANDLE folder, std::wstring_view name) {
    return nt_open(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC,
                   0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, nullptr);
}

OpenedEntry create_folder_entry(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                unsigned long share, PSECURITY_DESCRIPTOR security) {
    return nt_open(folder, name, access, share, FILE_CREATE, FILE_DIRECTORY_FILE, security);
}

OpenedEntry open_or_create_file_entry(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                      unsigned long share) {
    return nt_open(folder, name, access, share, FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE, nullptr);
}

FileHandle open_volume_root(const std::wstring& root, ACCESS_MASK access, unsigned long& error) {
    FileHandle handle(CreateFileW(root.c_str(), access, kShareFolder, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    error = handle ? ERROR_SUCCESS : GetLastError();
    return handle;
}

bool rename_by_handle(HANDLE entry, HANDLE folder, std::wstring_view name, bool replace) {
    // The native call takes the name relative to the folder as it is given. The Win32 one
    // (SetFileInformationByHandle) may first make a DOS path of it, relative to the
    // current folder, which the folder's handle then refuses (Wine answers 87).
    if (ntdll().set_information == nullptr) {
        SetLastError(error_of(kProcedureNotFound));
        return false;
    }
    // FILE_RENAME_INFO (the native call's structure too) ends in the name, of the length
    // it gives.
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    constexpr auto kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ntdll().set_information(
        entry, &io, rename, static_cast<ULONG>(buffer.size()), kFileRenameInformation);
    if (!NT_SUCCESS(status)) {
        SetLastError(error_of(status));
        return false;
    }
    return true;
}

bool list_entries(HANDLE folder, std::vector<ListedEntry>& entries, DWORD& error) {
    // 64 KiB, aligned for the records.
    std::vector<LONGLONG> buffer(8192);
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
    // The records with the short names; a volume that cannot give them (an old server's
    // share) gives the plain ones.
    bool with_short_names = true;
    bool first = true;
    for (;;) {
        const FILE_INFO_BY_HANDLE_CLASS kind =
            with_short_names ? (first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo)
                             : (first ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo);
        if (!GetFileInformationByHandleEx(folder, kind, buffer.data(), size)) {
            error = GetLastError();
            if (error == ERROR_NO_MORE_FILES) {
                return true;
            }
            if (first && with_short_names &&
                (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED)) {
                with_short_names = false;
                continue;
            }
            return false;
        }
        first = false;
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            ListedEntry entry;
            DWORD next = 0;
            if (with_short_names) {
                const auto& record = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
                entry = entry_of(record);
                entry.short_name.assign(record.ShortName, record.ShortNameLength / sizeof(wchar_t));
                next = record.NextEntryOffset;
            } else {
                const auto& record = *reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
                entry = entry_of(record);
                next = record.NextEntryOffset;
            }
            if (entry.name != L"." && entry.name != L"..") {
                entries.push_back(std::move(entry));
            }
            if (next == 0) {
                break;
            }
            at += next;
        }
    }
}

bool delete_by_handle(HANDLE entry) {
    // FILE_DISPOSITION_INFO_EX with DELETE | POSIX_SEMANTICS: Windows 10 1709 and later.
    constexpr auto kDispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    constexpr DWORD kDeletePosix = 0x1 | 0x2;
    DWORD flags = kDeletePosix;
    if (SetFileInformationByHandle(entry, kDispositionEx, &flags, sizeof flags)) {
        return true;
    }
    const DWORD code = GetLastError();
    // Older systems, Wine, and volumes without the semantics know only the plain mark.
    if (code != ERROR_INVALID_PARAMETER && code != ERROR_INVALID_FUNCTION &&
        code != ERROR_NOT_SUPPORTED) {
        return false;
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

bool set_attributes_by_handle(HANDLE entry, DWORD attributes) {
    // Zero times are left as they are; zero attributes would be too, so "normal" is named.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

} // namespace pelto::platform::win32
