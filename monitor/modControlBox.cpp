#include "monitor/modControlBox.h"

#include "monitor/frmMain.h"
#include "stats/frmLogStats.h"

namespace vx {

void ExtendSystemMenu(frmMain& monitor) {
    platform::Window& window = monitor.window();
    window.addSystemSeparator();
    // The same as the space bar in the window.
    window.addSystemCommand("Always on top", [&monitor] {
        int keyAscii = 32;
        monitor.Form_KeyPress(keyAscii);
    });
    // The window shows the file, so the file first gets the totals as they are.
    window.addSystemCommand("Statistics", [&monitor] {
        monitor.SaveTotals();
        Default<frmLogStats>::Get().Show();
    });
    monitor.Show();
}

}  // namespace vx
