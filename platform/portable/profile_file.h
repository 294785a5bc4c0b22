// The profile-file rules implemented on plain files (see platform/profile.h).
#pragma once

#include <functional>
#include <string>

#include "platform/types.h"

namespace vx::platform::portable {

DWORD GetString(const char* section, const char* key, const char* deflt, char* buffer, DWORD size,
                const char* file);
BOOL WriteString(const char* section, const char* key, const char* value, const char* file);

// Test hook: called with the temporary file's name when half of it is written.
extern std::function<void(const std::string&)> g_beforeProfileRename;

}  // namespace vx::platform::portable
