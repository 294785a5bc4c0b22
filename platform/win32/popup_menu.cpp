// The tray's popup menu as a native popup menu with its default item.
#include "platform/win32/backend.h"

namespace vx::platform {

int PopupMenu(HWND owner, const std::vector<MenuItem>& items, int defaultIndex, UINT flags) {
    ::HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return -1;
    // Commands are the item's index + 1: 0 is what TrackPopupMenu returns for "nothing chosen".
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        if (!item.visible) continue;
        if (item.caption == "-") {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT itemFlags = MF_STRING | (item.enabled ? 0 : MF_GRAYED);
        ::AppendMenuA(menu, itemFlags, i + 1, win32::ToAnsi(item.caption).c_str());
    }
    if (defaultIndex >= 0 && static_cast<std::size_t>(defaultIndex) < items.size() && items[static_cast<std::size_t>(defaultIndex)].visible)
        SetMenuDefaultItem(menu, static_cast<UINT>(defaultIndex + 1), FALSE);
    POINT at{};
    GetCursorPos(&at);
    int chosen = 0;
    {
        win32::HandlerScope scope;  // the menu's modal loop must not run posted work
        chosen = TrackPopupMenu(menu, flags | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, win32::Native(owner), nullptr);
    }
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageA(win32::Native(owner), WM_NULL, 0, 0);
    DestroyMenu(menu);
    return chosen > 0 ? chosen - 1 : -1;
}

}  // namespace vx::platform
