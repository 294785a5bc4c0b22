// The user32 calls the forms and modules make by name: the real ones.
#include "platform/win32/backend.h"

namespace vx::platform {

using win32::Native;

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(Native(hWnd), Native(hWndInsertAfter), x, y, cx, cy, flags);
}

HMENU GetSystemMenu(HWND hWnd, BOOL revert) {
    return reinterpret_cast<HMENU>(::GetSystemMenu(Native(hWnd), revert));
}

BOOL AppendMenuA(HMENU hMenu, UINT flags, std::uintptr_t idNewItem, const char* newItem) {
    std::string text = newItem ? win32::ToAnsi(newItem) : std::string();
    return ::AppendMenuA(reinterpret_cast<::HMENU>(hMenu), flags, idNewItem, newItem ? text.c_str() : nullptr);
}

// The 32-bit call would cut a 64-bit window procedure's address in half.
LONG_PTR SetWindowLongA(HWND hWnd, int index, LONG_PTR newLong) {
    return ::SetWindowLongPtrA(Native(hWnd), index, newLong);
}

LRESULT CallWindowProcA(LONG_PTR prevWndFunc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (prevWndFunc == 0) return 0;
    return ::CallWindowProcA(reinterpret_cast<::WNDPROC>(prevWndFunc), Native(hWnd), msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(Native(hWnd), msg, wParam, lParam);
}

BOOL SetForegroundWindow(HWND hWnd) { return ::SetForegroundWindow(Native(hWnd)); }

}  // namespace vx::platform
