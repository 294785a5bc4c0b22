// The profile calls: kernel32's own, with the texts in the ANSI code page.
#include <cstring>

#include "platform/win32/backend.h"

namespace vx::platform {

namespace {

// nullptr stays nullptr: it means "every key" or "remove" to the system.
struct Ansi {
    explicit Ansi(const char* utf8) : present(utf8 != nullptr), text(utf8 ? win32::ToAnsi(utf8) : std::string()) {}
    const char* get() const { return present ? text.c_str() : nullptr; }
    bool present;
    std::string text;
};

}  // namespace

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* deflt, char* buffer,
                                       std::uint32_t size, const char* file) {
    if (buffer == nullptr || size == 0) return 0;
    std::string ansi(size, '\0');
    DWORD n = ::GetPrivateProfileStringA(Ansi(section).get(), Ansi(key).get(), Ansi(deflt).get(), ansi.data(), size,
                                         Ansi(file).get());
    // Back in UTF-8, which may be longer: cut to the buffer, never inside a character.
    std::string value = win32::FromAnsi(std::string_view(ansi.data(), n));
    std::size_t count = value.size();
    if (count > size - 1) {
        count = size - 1;
        while (count > 0 && (static_cast<unsigned char>(value[count]) & 0xC0) == 0x80) --count;
    }
    std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    return static_cast<std::uint32_t>(count);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    return ::WritePrivateProfileStringA(Ansi(section).get(), Ansi(key).get(), Ansi(value).get(), Ansi(file).get()) !=
           FALSE;
}

}  // namespace vx::platform

namespace vx::platform {

std::string ProfileFileProblem(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::Widen(file).c_str(), GetFileExInfoStandard, &data)) return {};
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return "it is not a plain file";
    if (data.nFileSizeHigh != 0 || data.nFileSizeLow > 64 * 1024)
        return "it is larger than 64 KB, more than a settings file holds";
    return {};
}

// Windows writes profile files itself and leaves no temporaries behind.
void RemoveStaleTemporaries(const std::string& /*file*/) {}

}  // namespace vx::platform
