#include "platform/win32/profiles_win32.h"

#include <windows.h>

namespace pelto::platform::win32 {

bool Win32ProfileFiles::write_private_profile_string(TextView section, TextView key, TextView value,
                                                     TextView file) {
    const std::string section_a = to_cp949(section);
    const std::string key_a = to_cp949(key);
    const std::string value_a = to_cp949(value);
    const std::string file_a = to_cp949(file);
    return WritePrivateProfileStringA(section_a.c_str(), key_a.c_str(), value_a.c_str(),
                                      file_a.c_str()) != FALSE;
}

} // namespace pelto::platform::win32
