// The program's folder, command line, version texts, file deletion and the
// immediate end.
#include <vector>

#include "platform/win32/backend.h"

#include <commctrl.h>

#include "platform/win32/command_line.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace {

constexpr int kErrPathFileAccess = 75;

std::wstring ModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);  // a long path: try again with room
    }
}

// A text of the program's version information, in its first translation.
std::string VersionText(const wchar_t* name) {
    std::wstring exe = ModuleFileName();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> info(size);
    if (!GetFileVersionInfoW(exe.c_str(), 0, size, info.data())) return {};
    struct Translation {
        WORD language;
        WORD codePage;
    }* translations = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes) ||
        bytes < sizeof(Translation))
        return {};
    wchar_t path[96];
    swprintf(path, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language, translations[0].codePage, name);
    wchar_t* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &chars) || value == nullptr) return {};
    return win32::Utf8(std::wstring_view(value, chars > 0 && value[chars - 1] == L'\0' ? chars - 1 : chars));
}

}  // namespace

void InitApplication(int& /*argc*/, char** /*argv*/) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    win32::CreateMessageWindow(GetModuleHandleW(nullptr));
}

std::string AppPath() {
    std::wstring exe = ModuleFileName();
    std::size_t slash = exe.find_last_of(L"\\/");
    return win32::Utf8(slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash));
}

std::string ProgramFile(const std::string& name) { return AppPath() + "\\" + name; }

std::string AppTitle() {
    std::string& title = win32::Backend().title;
    if (title.empty()) title = VersionText(L"ProductName");
    if (title.empty()) title = "vxstat";
    return title;
}

std::string AppFileDescription() { return VersionText(L"FileDescription"); }

std::string CommandLine() { return win32::Utf8(win32::ArgumentsOf(GetCommandLineW())); }

void Kill(const std::string& path) {
    if (DeleteFileW(win32::Widen(path).c_str())) return;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        throw RuntimeError(kErrFileNotFound, "File not found");
    throw RuntimeError(kErrPathFileAccess, "Path/File access error");
}

// No handler runs and nothing is saved; only the icons are taken down, so
// none is left behind in the notification area for a program that is gone.
void End() {
    win32::RemoveTrayIcons();
    ExitProcess(0);
}

}  // namespace vx::platform
