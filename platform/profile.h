// The Windows profile-file calls, by their names.
#pragma once

#include <cstdint>
#include <string>

namespace vx::platform {

// Copies the value of key in section (or `deflt` when absent) into buffer,
// with surrounding blanks removed, cut to size - 1 characters and ended by a
// NUL; returns the count of characters copied.
std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* deflt, char* buffer,
                                       std::uint32_t size, const char* file);

// Creates file and section when missing, replaces the key's value in place or
// appends the key at the end of its section; every other line stays as it was.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file);

// Why a file cannot be read as a profile file (it is not a plain file, or
// it is far larger than a settings file): a reason in words, or empty when
// it can be read or is absent. The calls above read such a file as absent
// and never write over it.
std::string ProfileFileProblem(const std::string& file);

// Removes the temporary files a writer of `file` that died left beside it
// (only those old enough that no live writer can still own them).
void RemoveStaleTemporaries(const std::string& file);

}  // namespace vx::platform
