// Window procedures and system menus for backends whose toolkit has neither:
// each window has a chain of procedures ending in its form's own procedure,
// and a system menu model that the backend shows in its own way.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace vx::platform::portable {

struct SystemMenuItem {
    UINT flags = 0;
    std::uintptr_t id = 0;
    std::string text;
};

// The window's system menu: the standard commands, then whatever was appended.
const std::vector<SystemMenuItem>& SystemMenu(HWND hWnd);

// Forgets what was kept for a window that is going away.
void ForgetWindow(HWND hWnd);

}  // namespace vx::platform::portable
