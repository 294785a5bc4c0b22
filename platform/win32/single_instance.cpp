// One running program per set of files: a named mutex says who holds them,
// and a message-only window of the holder's, named like it, is where a later
// start knocks. The system drops both when the holder ends, however it ends.
#include <cstdint>
#include <cstdio>

#include "platform/win32/backend.h"

namespace vx::platform {

namespace {

constexpr UINT kRaise = WM_APP + 1;  // the only message of our own class
const wchar_t* const kClass = L"vxstat.instance";

struct Holder {
    std::wstring name;
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    std::function<void()> onRaise;
};

Holder& Held() {
    static Holder& holder = *new Holder;  // outlives every static form
    return holder;
}

// "vxstat-<hash of the key>": the same files whatever case the path was typed in.
std::wstring NameOf(const std::string& key) {
    std::wstring path = win32::Widen(key);
    if (!path.empty()) CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a over the UTF-16 units
    for (wchar_t c : path) hash = (hash ^ static_cast<std::uint16_t>(c)) * 0x100000001b3ULL;
    wchar_t name[32];
    std::swprintf(name, 32, L"vxstat-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

LRESULT CALLBACK InstanceProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRaise) {
        if (Held().onRaise) win32::Guarded(Held().onRaise);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Asks the holder to come forward; it makes its window just after the mutex,
// so a start at the same moment may have to wait for it a little.
void Knock(const std::wstring& name) {
    for (int tries = 0; tries < 100; ++tries) {
        if (HWND holder = FindWindowExW(HWND_MESSAGE, nullptr, kClass, name.c_str())) {
            DWORD process = 0;
            GetWindowThreadProcessId(holder, &process);
            // The holder may take the foreground: this start is what the user just did.
            AllowSetForegroundWindow(process);
            PostMessageW(holder, kRaise, 0, 0);
            return;
        }
        Sleep(50);
    }
}

}  // namespace

bool ClaimSingleInstance(const std::string& key, std::function<void()> onRaise) {
    Holder& held = Held();
    const std::wstring name = NameOf(key);
    if (held.mutex != nullptr && held.name == name) {
        held.onRaise = std::move(onRaise);
        return true;
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str());
    if (mutex == nullptr) return true;  // no way to tell: better two monitors than none
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        Knock(name);
        return false;
    }
    if (held.mutex != nullptr) {  // another set of files (tests): this one from now on
        DestroyWindow(held.window);
        CloseHandle(held.mutex);
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = InstanceProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // fails harmlessly when already registered
    held = Holder{name, mutex, nullptr, std::move(onRaise)};
    held.window = CreateWindowExW(0, kClass, name.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    return true;
}

}  // namespace vx::platform
