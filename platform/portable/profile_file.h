// The profile-file rules implemented on plain files (see platform/profile.h).
#pragma once

#include <functional>
#include <string>

#include <cstdint>

namespace vx::platform::portable {

// The most a profile file may hold: settings and totals are a few lines.
constexpr std::size_t kLargestProfile = std::size_t{64} * 1024;

// Why a file cannot be a profile file (not a plain file, or too large);
// empty when it can, or is absent.
std::string Problem(const std::string& file);

std::uint32_t GetString(const char* section, const char* key, const char* deflt, char* buffer, std::uint32_t size,
                        const char* file);
bool WriteString(const char* section, const char* key, const char* value, const char* file);
void RemoveStale(const std::string& file);

// Test hook: called with the temporary file's name when half of it is written.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): a hook only tests set
extern std::function<void(const std::string&)> g_beforeProfileRename;

}  // namespace vx::platform::portable
