// The entries of a folder held open, reached through the folder's handle and never through
// a path: opened relative to it (NtCreateFile with the folder as the root directory, its
// last component never followed when it is a link), listed by the handle, deleted by the
// handle of what was opened. A link swapped in for an entry, or for the folder itself,
// after it was looked at therefore cannot lead anything done here to another file.
//
// ntdll is a KnownDLL mapped into every process before the program's first instruction;
// the functions used here are found in it at run time, so the program's import table does
// not change.
#pragma once

#include "platform/win32/handles.h"

#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

namespace pelto::platform::win32 {

// What an opening relative to a folder answered: the handle, or the system's status and
// its Win32 code.
struct OpenedEntry {
    FileHandle handle;
    long status = 0;         // the NTSTATUS
    unsigned long error = 0; // its Win32 code, for the run log
    // Nothing of that name is there (a look for something, not a failure).
    bool missing() const;
    // The name is there but is a file where a folder was asked for, or the other way round.
    bool wrong_kind() const;
    // Something of that name is there already (an entry asked to be created).
    bool collision() const;
};

// True for the name of one entry of a folder: not empty, not "." or "..", and without
// separators, wildcards, a stream (':') or characters no file name holds.
bool is_entry_name(std::wstring_view name);

// Sharing with every other opener: reading, writing and deleting.
constexpr unsigned long kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// How a folder is held: others may read and write in it, but nobody may rename, move or
// delete it while it is open, so that its path keeps naming it.
constexpr unsigned long kShareFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The access a folder is held with: list it, open what it holds, read its attributes, and
// set them when `change_attributes` (not asked for where the system would refuse it).
ACCESS_MASK open_folder_access(bool change_attributes);

// Opens the entry `name` of `folder` for `access` (SYNCHRONIZE is added; the handle does
// synchronous I/O), sharing read, write and delete. `options` are NtCreateFile's create
// options (FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE); a link at `name` is opened
// itself, never followed. The name is found without regard to case.
OpenedEntry open_entry(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                       unsigned long options, unsigned long share = kShareAll);

// Creates the new file `name` in `folder` (an existing entry of that name is an error),
// with the security descriptor `security`, opened for reading and writing; others may
// read it meanwhile.
OpenedEntry create_file_entry(HANDLE folder, std::wstring_view name, PSECURITY_DESCRIPTOR security);

// Creates the new file `name` in `folder`, with the rights it inherits there, opened for
// reading, writing, renaming and changing its rights, and shared with nobody: the new
// bytes of a file that is then put in another's place.
OpenedEntry create_replacement_entry(HANDLE folder, std::wstring_view name);

// Creates the new folder `name` in `folder` (an existing entry of that name is an error)
// with the security descriptor `security` (null: what it inherits), opened for `access`
// and shared as `share`.
OpenedEntry create_folder_entry(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                unsigned long share, PSECURITY_DESCRIPTOR security);

// Opens the file `name` of `folder` for `access`, creating it with the rights it inherits
// when it is missing; a link at `name` is opened itself, never followed.
OpenedEntry open_or_create_file_entry(HANDLE folder, std::wstring_view name, ACCESS_MASK access,
                                      unsigned long share);

// The root folder of a volume ("C:\", "\\host\share\"), opened for `access` and held
// as a folder is (kShareFolder). Invalid, with the system's code in `error`, when refused.
FileHandle open_volume_root(const std::wstring& root, ACCESS_MASK access, unsigned long& error);

// Renames what `entry` (opened with DELETE) names to `name` in `folder`, in one step. An
// existing entry of that name is replaced when `replace` (a file, never a folder) and
// makes the rename fail otherwise. False, with GetLastError() set, when the system refuses.
bool rename_by_handle(HANDLE entry, HANDLE folder, std::wstring_view name, bool replace);

// One entry as the folder's listing gives it.
struct ListedEntry {
    std::wstring name;
    std::wstring short_name; // the 8.3 name, when the volume keeps one that differs
    DWORD attributes = 0;
};

// Every entry of the folder held open by `folder` (opened with FILE_LIST_DIRECTORY),
// "." and ".." left out, in the order the file system lists them. False, with the
// system's code in `error`, when the listing is refused.
bool list_entries(HANDLE folder, std::vector<ListedEntry>& entries, DWORD& error);

// Marks what `entry` (opened with DELETE) names for deletion. Where the system can, the
// name goes at once even while others hold the entry open (as DeleteFileW does on
// Windows 10); elsewhere when the last handle to it closes. A folder must be empty. False,
// with GetLastError() set, when the system refuses.
bool delete_by_handle(HANDLE entry);

// Sets the DOS attributes of what `entry` (opened with FILE_WRITE_ATTRIBUTES) names, as
// SetFileAttributesW does: 0 makes it normal. False, with GetLastError() set, when refused.
bool set_attributes_by_handle(HANDLE entry, DWORD attributes);

} // namespace pelto::platform::win32
