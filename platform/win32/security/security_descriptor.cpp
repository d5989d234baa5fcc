#include "platform/win32/security/security_descriptor.h"

// aclapi.h and sddl.h need the Windows types first.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

namespace pelto::platform::win32 {

SddlDescriptor::SddlDescriptor(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                             &descriptor, nullptr)) {
        memory_.reset(descriptor);
    } else {
        error_ = GetLastError();
    }
}

LocalMemory read_owner_and_rights(HANDLE handle, DWORD& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetSecurityInfo(handle, SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor);
    return LocalMemory(error == ERROR_SUCCESS ? descriptor : nullptr);
}

} // namespace pelto::platform::win32
