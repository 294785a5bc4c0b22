// The monitor window's extra system-menu commands, "Always on top" and
// "Statistics", handled in a window procedure installed in front of its own.
#pragma once

#include "platform/types.h"
#include "runtime/form.h"

namespace vx {

inline constexpr platform::WPARAM IDM_ALWAYSONTOP = 1010;
inline constexpr platform::WPARAM IDM_STATISTICS = 1011;

// The procedure ControlBoxWndProc replaced; every other message goes there.
extern platform::LONG_PTR lpPrevWndProc;

// Appends the two commands to frm's system menu, shows frm, then installs
// ControlBoxWndProc.
void ExtendSystemMenu(Form& frm);

platform::LRESULT VX_CALLBACK ControlBoxWndProc(platform::HWND hWnd, platform::UINT uMsg, platform::WPARAM wParam,
                                                platform::LPARAM lParam);

}  // namespace vx
