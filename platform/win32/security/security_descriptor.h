// Security descriptors as the platform builds and reads them: from SDDL text, and as the
// system gives them back for an open handle. Both live in memory from LocalAlloc.
#pragma once

#include "platform/win32/handles.h"

#include <string>
#include <windows.h>

namespace pelto::platform::win32 {

struct LocalMemoryTraits {
    static HLOCAL invalid() { return nullptr; }
    static void close(HLOCAL h) { ::LocalFree(h); }
};
using LocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

// A security descriptor built from SDDL text; when the text is refused, empty with the
// system's code in error().
class SddlDescriptor {
public:
    explicit SddlDescriptor(const std::wstring& sddl);
    PSECURITY_DESCRIPTOR get() const { return memory_.get(); }
    explicit operator bool() const { return memory_.valid(); }
    DWORD error() const { return error_; }

private:
    LocalMemory memory_;
    DWORD error_ = ERROR_SUCCESS;
};

// The owner and the access rights (DACL, with its protection) of what `handle` (opened
// with READ_CONTROL) names; empty, with the system's code in `error`, when refused.
LocalMemory read_owner_and_rights(HANDLE handle, DWORD& error);

} // namespace pelto::platform::win32
