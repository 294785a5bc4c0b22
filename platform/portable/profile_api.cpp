// The profile calls for backends without kernel32.
#include "platform/portable/profile_file.h"
#include "platform/profile.h"

namespace vx::platform {

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* deflt, char* buffer,
                               DWORD size, const char* file) {
    return portable::GetString(section, key, deflt, buffer, size, file);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    return portable::WriteString(section, key, value, file);
}

}  // namespace vx::platform
