// The monitor window's extra system-menu commands, "Always on top" and
// "Statistics".
#pragma once

namespace vx {

class frmMain;

// Appends a separator and the two commands to the monitor's system menu,
// then shows the monitor.
void ExtendSystemMenu(frmMain& monitor);

}  // namespace vx
