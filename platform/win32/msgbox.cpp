// Message boxes: the style's buttons and icon, the texts in the ANSI code page.
#include "platform/win32/backend.h"

namespace vx::platform {

int MsgBox(const std::string& prompt, int style, const std::string& title) {
    // Owned by the program's active window, if any, so that it stays above it;
    // a box from the tray (no window shown) comes to the front by itself.
    HWND owner = GetActiveWindow();
    UINT flags = static_cast<UINT>(style);
    if (owner == nullptr) flags |= MB_SETFOREGROUND;
    win32::HandlerScope scope;  // its modal loop must not run posted work
    return MessageBoxA(owner, win32::ToAnsi(prompt).c_str(), win32::ToAnsi(title).c_str(), flags);
}

}  // namespace vx::platform
