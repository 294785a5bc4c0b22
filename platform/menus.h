// Popup menus shown at the cursor.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace vx::platform {

struct MenuItem {
    std::string caption;  // "-" draws a separator line
    bool visible = true;
    bool enabled = true;
};

// Shows the items as a popup menu at the cursor, owned by hWnd, with item
// defaultIndex drawn bold; waits until the menu closes. Returns the index of the
// chosen item, or -1 when nothing was chosen.
int PopupMenu(HWND owner, const std::vector<MenuItem>& items, int defaultIndex, UINT flags);

}  // namespace vx::platform
