// DOS file attributes of host files, kept as Wine keeps them: hidden and system in the
// `user.DOSATTRIB` extended attribute (the text "0x%x"; Samba's forms are read too); a
// file's read-only mark is the lack of every write permission bit, so that every
// program on the machine honours it (a folder's is kept in the extended attribute);
// every file counts as archived. Where the file system has no user extended
// attributes, they are kept in memory for the life of the process, keyed by device
// and inode.
#pragma once

#include "platform/portable/host_failure.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <sys/stat.h>

namespace pelto::platform::portable::dos {

// The extended attribute that holds them, as Wine and Samba name it.
constexpr const char* kXattrName = "user.DOSATTRIB";

// The attributes of the entry at `path`, whose lstat is `st`: a symbolic link is
// kReparsePoint plus kDirectory when it leads to a folder (kArchive otherwise), and is
// never changed through; a folder always has kDirectory; a file always has kArchive.
uint32_t attributes(const char* path, const struct stat& st);

// lstat + attributes; nullopt when nothing is there.
std::optional<uint32_t> attributes(const char* path);

// The attributes of the entry `name` of the open folder `folder`, whose fstatat (not
// following a link) is `st`; read through the entry opened without following a link, so
// that an entry swapped meanwhile is never read through.
uint32_t attributes_at(int folder, const char* name, const struct stat& st);
// The attributes of an open file or folder (never a link) whose fstat is `st`.
uint32_t attributes_of_open(int fd, const struct stat& st);

// SetAttr: stores read-only, hidden and system of `attributes`; writes nothing when
// they are already so. False for a symbolic link (its target is never touched) or when
// the entry cannot be changed; `refusal` then names the system call that refused.
bool set_attributes(const char* path, uint32_t attributes, HostRefusal& refusal);

// SetAttr on an open file or folder: the entry it was opened on, whatever now has its
// name.
bool set_attributes_of_open(int fd, uint32_t attributes, HostRefusal& refusal);

// The entry at `st` is gone: drop what memory held for it.
void forget(const struct stat& st);

// The attribute bits of a stored `user.DOSATTRIB` value; nullopt when unreadable.
std::optional<uint32_t> parse_xattr(std::string_view value);

} // namespace pelto::platform::portable::dos
