// A reader, or a failure half-way, finds the old file or the new one, never a part. The
// new content goes to a file of its own beside the old one, which it then replaces;
// ReplaceFileW keeps the replaced file's attributes and rights and is given a backup name,
// so that the old file can always be found:
//  - sharing violations, refused access, 1175 (the old file could not be removed) and 1176
//    with the old file still at its name changed nothing; on-access scanners cause them for
//    a moment after a file is closed, so the call is tried again a few times within about
//    two seconds;
//  - 1176 with the old file gone, and 1177 (the old file left under the backup name): the
//    new file is moved into place, and when even that is refused the old one goes back.
// The new file is deleted only while the old file is at its name, and nothing that holds
// the only copy of either content is ever deleted. The paths given to the system name the
// folder held open: nobody may rename or move it while it is held.
#include "platform/win32/files/replace_file.h"

#include "platform/win32/files/dos_attributes.h"
#include "platform/win32/files/folder_entries.h"
#include "platform/win32/os_failure_win32.h"
#include "platform/win32/security/security_descriptor.h"
#include "platform/win32/wide.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

namespace pelto::platform::win32 {

namespace {

// How often the replacement is tried while the files are busy, and the first pause
// (milliseconds, doubled after each try: 1.5 s in all).
constexpr int kReplaceAttempts = 5;
constexpr DWORD kFirstPause = 100;

// What on-access scanners and indexers cause for a moment right after a file is closed,
// and what left both files at their names.
bool passes_soon(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
           code == ERROR_UNABLE_TO_REMOVE_REPLACED || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool write_all(HANDLE file, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<size_t>(bytes.size(), std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

class Replacement {
public:
    Replacement(HANDLE folder, const Text& folder_path, TextView name,
                const ReplaceFileCall& replace, RunLog& log)
        : folder_(folder), name_(wide(name)), replace_(replace), log_(log) {
        path_ = folder_path;
        if (!ends_with(path_, u"\\")) {
            path_ += u'\\';
        }
        path_ += Text(name);
        const std::wstring stem = name_ + L".pelto-" + std::to_wstring(GetCurrentProcessId()) +
                                  L"-" + std::to_wstring(GetTickCount64());
        temporary_name_ = stem + L".new";
        temporary_ = wide(folder_path) + (ends_with(folder_path, u"\\") ? L"" : L"\\");
        backup_ = temporary_ + stem + L".old";
        temporary_ += temporary_name_;
    }

    bool run(std::span<const uint8_t> bytes, uint32_t attributes) {
        if (!is_entry_name(name_) || !look_at_old()) {
            return false;
        }
        const bool replaced = write_new(bytes) && (old_ ? replace_old() : move_into_place());
        if (!replaced) {
            put_back_mark();
            return false;
        }
        return set_attributes(attributes);
    }

private:
    // The file there now, if any: never a folder, a link or a file with a second name. Its
    // rights are kept for the new file; a read-only mark, which would refuse the
    // replacement, goes first (and comes back when the replacement fails). No handle to it
    // stays open: a file held open cannot be replaced.
    bool look_at_old() {
        const OpenedEntry old = open_entry(
            folder_, name_, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | READ_CONTROL, 0);
        if (!old.handle) {
            if (old.missing()) {
                return true;
            }
            log_os_failure(log_, win32_failure(old.error, "NtCreateFile", path_));
            return false;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(old.handle.get(), &info)) {
            log_last_error(log_, "GetFileInformationByHandle", path_);
            return false;
        }
        const DWORD kind = info.dwFileAttributes;
        if ((kind & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            info.nNumberOfLinks != 1) {
            log_.write(to_utf8(path_) + " is not replaced: it is " +
                       ((kind & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? "a link"
                        : (kind & FILE_ATTRIBUTE_DIRECTORY) != 0
                            ? "a folder"
                            : "a file with a second name (a hard link)"));
            return false;
        }
        old_ = true;
        if ((kind & FILE_ATTRIBUTE_READONLY) != 0) {
            if (!set_attributes_by_handle(old.handle.get(), (kind & kSettableAttributes) &
                                                                ~FILE_ATTRIBUTE_READONLY)) {
                log_last_error(log_, "SetFileInformationByHandle", path_);
                return false;
            }
            marked_ = kind & kSettableAttributes;
        }
        // Read without the mark: Wine keeps both in the same permission bits, and the new
        // file must not be read-only until it is in place.
        DWORD error = ERROR_SUCCESS;
        rights_ = read_owner_and_rights(old.handle.get(), error);
        if (!rights_) {
            log_os_failure(log_, win32_failure(error, "GetSecurityInfo", path_));
            put_back_mark();
            return false;
        }
        return true;
    }

    // The new bytes in a file of their own beside the old one, with the old one's rights.
    bool write_new(std::span<const uint8_t> bytes) {
        OpenedEntry created = create_replacement_entry(folder_, temporary_name_);
        if (!created.handle) {
            log_os_failure(log_, win32_failure(created.error, "NtCreateFile", path_));
            return false;
        }
        temporary_handle_ = std::move(created.handle);
        const HANDLE file = temporary_handle_.get();
        const char* refused = nullptr;
        if (!write_all(file, bytes)) {
            refused = "WriteFile";
        } else if (!FlushFileBuffers(file)) {
            refused = "FlushFileBuffers";
        } else if (rights_ &&
                   !SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, rights_.get())) {
            refused = "SetKernelObjectSecurity";
        }
        if (refused != nullptr) {
            log_last_error(log_, refused, path_);
            delete_by_handle(file);
            temporary_handle_.reset();
            return false;
        }
        return true;
    }

    // A missing file: the new one takes its name, relative to the folder, over nothing.
    bool move_into_place() {
        const HANDLE file = temporary_handle_.get();
        const bool moved = rename_by_handle(file, folder_, name_, false);
        if (!moved) {
            log_last_error(log_, "NtSetInformationFile", path_);
            delete_by_handle(file);
        }
        temporary_handle_.reset();
        return moved;
    }

    bool replace_old() {
        temporary_handle_.reset(); // the replacement is opened by the system, sharing nothing
        const std::wstring path = wide(path_);
        DWORD pause = kFirstPause;
        DWORD code = ERROR_SUCCESS;
        for (int attempt = 1;; ++attempt) {
            if (replace_(path.c_str(), temporary_.c_str(), backup_.c_str(),
                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
                DeleteFileW(backup_.c_str());
                return true;
            }
            code = GetLastError();
            if (!exists(path) || !passes_soon(code) || attempt == kReplaceAttempts) {
                break;
            }
            Sleep(pause);
            pause *= 2;
        }
        log_os_failure(log_, win32_failure(code, "ReplaceFileW", path_));
        if (exists(path)) {
            // Nothing was replaced: the old file is where it was.
            DeleteFileW(temporary_.c_str());
            return false;
        }
        return recover(path);
    }

    // The old file is gone from its name: under the backup name, or nowhere.
    bool recover(const std::wstring& path) {
        if (MoveFileExW(temporary_.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            log_.write(to_utf8(path_) + ": the new file was moved into place");
            DeleteFileW(backup_.c_str());
            return true;
        }
        log_last_error(log_, "MoveFileExW", path_);
        if (MoveFileExW(backup_.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
            log_.write(to_utf8(path_) + ": the old file was put back");
            DeleteFileW(temporary_.c_str());
        } else {
            log_.write(to_utf8(path_) + " is missing: the old content is in " +
                       to_utf8(from_wide(backup_)) + ", the new in " +
                       to_utf8(from_wide(temporary_)));
        }
        return false;
    }

    void put_back_mark() {
        if (!marked_) {
            return;
        }
        if (const OpenedEntry old = open_entry(folder_, name_, FILE_WRITE_ATTRIBUTES, 0);
            old.handle) {
            set_attributes_by_handle(old.handle.get(), *marked_);
        }
    }

    bool set_attributes(uint32_t attributes) {
        const OpenedEntry file =
            open_entry(folder_, name_, FILE_WRITE_ATTRIBUTES, FILE_NON_DIRECTORY_FILE);
        if (!file.handle) {
            log_os_failure(log_, win32_failure(file.error, "NtCreateFile", path_));
            return false;
        }
        if (!set_attributes_by_handle(file.handle.get(), attributes & kSettableAttributes)) {
            log_last_error(log_, "SetFileInformationByHandle", path_);
            return false;
        }
        return true;
    }

    HANDLE folder_;
    std::wstring name_;
    const ReplaceFileCall& replace_;
    RunLog& log_;
    Text path_;                   // the file's path, for the system and the run log
    std::wstring temporary_name_; // the new file's name in the folder
    std::wstring temporary_;      // its path
    std::wstring backup_;         // the old file's path while it is replaced
    FileHandle temporary_handle_;
    bool old_ = false;            // a file was there
    LocalMemory rights_;          // its owner and rights
    std::optional<DWORD> marked_; // its attributes, when its read-only mark was taken off
};

} // namespace

bool replace_in_folder(HANDLE folder, const Text& folder_path, TextView name,
                       std::span<const uint8_t> bytes, uint32_t attributes,
                       const ReplaceFileCall& replace, RunLog& log) {
    return Replacement(folder, folder_path, name, replace, log).run(bytes, attributes);
}

} // namespace pelto::platform::win32
