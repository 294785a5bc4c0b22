// The user32 calls the forms and modules make, by their names.
#pragma once

#include <string>

#include "platform/types.h"

namespace vx::platform {

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT flags);
HMENU GetSystemMenu(HWND hWnd, BOOL revert);
BOOL AppendMenuA(HMENU hMenu, UINT flags, std::uintptr_t idNewItem, const char* newItem);
LONG_PTR SetWindowLongA(HWND hWnd, int index, LONG_PTR newLong);
LRESULT CallWindowProcA(LONG_PTR prevWndFunc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetForegroundWindow(HWND hWnd);

}  // namespace vx::platform
