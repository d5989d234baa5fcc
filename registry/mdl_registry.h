// mdl레지스트리: writes single text (REG_SZ) and number (REG_DWORD) values below
// HKEY_LOCAL_MACHINE as a Korean Windows's "A" functions write them, for the SQL Server client
// aliases under "SOFTWARE\Microsoft\MSSQLServer\Client\ConnectTo" and the user-account-control
// policy values. It never creates a key and reports nothing: a key that cannot be opened or a value
// that cannot be written leaves the registry as it was, with a line in the run log.
#pragma once

#include "core/variant.h"
#include "platform/platform.h"

#include <cstdint>

namespace pelto::mdl레지스트리 {

// The value types sG_SetRegValue writes, the platform's own numbers.
constexpr int32_t kText = static_cast<int32_t>(platform::kRegSz);      // REG_SZ
constexpr int32_t kNumber = static_cast<int32_t>(platform::kRegDword); // REG_DWORD

// Opens sKeyPath below HKEY_LOCAL_MACHINE for KEY_SET_VALUE and writes one value of type
// 1 (text) or 4 (32-bit number). A type-4 value that is not a number raises the
// conversion error (VbError 13) to the caller; the key is closed all the same.
void sG_SetRegValue(platform::Platform& p, const Text& sKeyPath, const Text& sValueName,
                    const Variant& vValue, int32_t lValueType);
// sG_SetRegValue, with the platform's status of the open or the write (kRegSuccess when the
// value is written), for a caller that must tell the outcome.
long set_reg_value(platform::Platform& p, const Text& sKeyPath, const Text& sValueName,
                   const Variant& vValue, int32_t lValueType);

// RegSetValueExA on an open key: type 1 writes the text in code page 949 with its
// terminating NUL (the size counts both), type 4 the number's four bytes, least
// significant first. Returns the platform's status; 0 without a call for other types.
long fG_SetValueEx(platform::Platform& p, platform::RegistryKey& hKey, const Text& sValueName,
                   int32_t lValueType, const Variant& vValue);

} // namespace pelto::mdl레지스트리
