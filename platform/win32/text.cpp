// UTF-8 inside, UTF-16 and the ANSI code page at the system's edge.
#include "platform/win32/backend.h"

namespace vx::platform::win32 {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
    return wide;
}

namespace {

std::string FromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    int n = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), n, nullptr, nullptr);
    return text;
}

}  // namespace

std::string Utf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }

// Characters the code page lacks become its default character, as the
// system's own conversion does.
std::string ToAnsi(std::string_view utf8) { return FromWide(CP_ACP, Widen(utf8)); }

std::string FromAnsi(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int size = static_cast<int>(ansi.size());
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), n);
    return Utf8(wide);
}

std::string WindowText(HWND hwnd) {
    int n = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(hwnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n < 0 ? 0 : n));
    return FromAnsi(text);
}

}  // namespace vx::platform::win32
