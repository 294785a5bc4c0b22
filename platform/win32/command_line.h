// The command line's argument text, as the program was started.
#pragma once

#include <string>
#include <string_view>

namespace vx::platform::win32 {

// Everything after the program name: the name (in quotes or up to the first
// blank) and the blanks after it are skipped, the rest is kept as typed.
inline std::wstring ArgumentsOf(std::wstring_view commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        std::size_t close = commandLine.find(L'"', 1);
        i = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    return std::wstring(commandLine.substr(i));
}

}  // namespace vx::platform::win32
