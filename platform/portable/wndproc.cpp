#include "platform/portable/wndproc.h"

#include <map>

#include "platform/forms.h"
#include "platform/user32.h"

namespace vx::platform {

namespace {

LRESULT VX_CALLBACK FormProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Window::fromHandle(hWnd);
    return w ? w->defaultProc(msg, wParam, lParam) : 0;
}

struct PerWindow {
    LONG_PTR proc = reinterpret_cast<LONG_PTR>(&FormProc);
    std::vector<portable::SystemMenuItem> systemMenu;
    bool menuMade = false;
};

std::map<HWND, PerWindow>& State() {
    static std::map<HWND, PerWindow> state;
    return state;
}

std::vector<portable::SystemMenuItem> StandardSystemMenu() {
    return {
        {MF_STRING, SC_RESTORE, "&Restore"},
        {MF_STRING, SC_MINIMIZE, "Mi&nimize"},
        {MF_SEPARATOR, 0, ""},
        {MF_STRING, SC_CLOSE, "&Close"},
    };
}

// System menus are known by their window's handle.
HMENU MenuHandleOf(HWND hWnd) { return hWnd; }

}  // namespace

namespace portable {

const std::vector<SystemMenuItem>& SystemMenu(HWND hWnd) {
    PerWindow& pw = State()[hWnd];
    if (!pw.menuMade) {
        pw.systemMenu = StandardSystemMenu();
        pw.menuMade = true;
    }
    return pw.systemMenu;
}

void ForgetWindow(HWND hWnd) { State().erase(hWnd); }

}  // namespace portable

HMENU GetSystemMenu(HWND hWnd, BOOL revert) {
    if (Window::fromHandle(hWnd) == nullptr) return 0;
    PerWindow& pw = State()[hWnd];
    if (revert || !pw.menuMade) {
        pw.systemMenu = StandardSystemMenu();
        pw.menuMade = true;
    }
    return revert ? 0 : MenuHandleOf(hWnd);
}

BOOL AppendMenuA(HMENU hMenu, UINT flags, std::uintptr_t idNewItem, const char* newItem) {
    auto it = State().find(hMenu);
    if (it == State().end() || !it->second.menuMade) return 0;
    it->second.systemMenu.push_back({flags, idNewItem, newItem ? newItem : ""});
    return 1;
}

LONG_PTR SetWindowLongA(HWND hWnd, int index, LONG_PTR newLong) {
    if (index != GWL_WNDPROC || Window::fromHandle(hWnd) == nullptr || newLong == 0) return 0;
    PerWindow& pw = State()[hWnd];
    LONG_PTR previous = pw.proc;
    pw.proc = newLong;
    return previous;
}

LRESULT CallWindowProcA(LONG_PTR prevWndFunc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (prevWndFunc == 0) return 0;
    return reinterpret_cast<WNDPROC>(prevWndFunc)(hWnd, msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (Window::fromHandle(hWnd) == nullptr) return 0;
    LONG_PTR proc = State()[hWnd].proc;
    return CallWindowProcA(proc, hWnd, msg, wParam, lParam);
}

}  // namespace vx::platform
