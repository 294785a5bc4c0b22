// The user's folders, the program's own, and the Run key that starts it at login.
#include <shlobj.h>
#include <windows.h>

#include <cstdio>

#include "platform/app.h"
#include "platform/autostart.h"
#include "platform/win32/backend.h"

namespace vx::platform {

namespace {

const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const kRunValue = L"vxstat";

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return win32::Utf8(message);
}

}  // namespace

std::string ProgramExecutable() { return win32::Utf8(ExecutablePath()); }

std::string UserConfigFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return AppPath();
    return win32::Utf8(path) + "\\vxstat";
}

std::string UserDataFolder() { return UserConfigFolder(); }

// Tried rather than worked out from the folder's access rules: a file that
// may be created, and goes again when closed.
bool ProgramFolderIsWritable() {
    const std::wstring probe = win32::Widen(AppPath()) + L"\\vxstat-write-probe.tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string& folder) {
    const int result = SHCreateDirectoryExW(nullptr, win32::Widen(folder).c_str(), nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) return true;
    SetLastError(static_cast<DWORD>(result));
    return false;
}

// A GUI program has no console of its own: it borrows the one of the
// command prompt that started it, if any.
void AttachToTerminal() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    freopen_s(&ignored, "CONOUT$", "w", stderr);
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

bool StartsAtLogin() {
    DWORD type = 0;
    DWORD bytes = 0;
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, &type, nullptr, &bytes) == ERROR_SUCCESS;
}

bool SetStartAtLogin(bool on, std::string& error) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        if (on) {
            const std::wstring command = L"\"" + ExecutablePath() + L"\"";
            status = RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        } else {
            status = RegDeleteValueW(key, kRunValue);
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    if (status == ERROR_SUCCESS) return true;
    error = ErrorText(static_cast<DWORD>(status));
    return false;
}

}  // namespace vx::platform
