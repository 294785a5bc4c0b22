// The profile calls for backends without kernel32.
#include "platform/portable/profile_file.h"
#include "platform/profile.h"

namespace vx::platform {

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* deflt, char* buffer,
                                       std::uint32_t size, const char* file) {
    return portable::GetString(section, key, deflt, buffer, size, file);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    return portable::WriteString(section, key, value, file);
}

std::string ProfileFileProblem(const std::string& file) { return portable::Problem(file); }

void RemoveStaleTemporaries(const std::string& file) { portable::RemoveStale(file); }

}  // namespace vx::platform
