#include "monitor/modControlBox.h"

#include "monitor/frmMain.h"
#include "platform/app.h"
#include "platform/autostart.h"
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
        monitor.FlushHistory();
        Default<frmLogStats>::Get().Show();
    });
    window.addSystemCommand("History", [&monitor] { monitor.ShowHistoryWindow(); });
    // Shows whether the desktop starts the program at login as the entry
    // stands whenever the menu opens: the user may change it elsewhere.
    const std::size_t startAtLogin = window.systemCommands().size();
    window.addSystemCommand(
        "Start at login",
        [&window, startAtLogin] {
            std::string error;
            if (!platform::SetStartAtLogin(!platform::StartsAtLogin(), error))
                platform::MsgBox("The start at login could not be changed:\n" + error, platform::vbCritical, "Problem");
            window.setSystemCommandChecked(startAtLogin, platform::StartsAtLogin());
        },
        platform::StartsAtLogin());
    window.onSystemMenuOpening = [&window, startAtLogin] {
        window.setSystemCommandChecked(startAtLogin, platform::StartsAtLogin());
    };
    monitor.Show();
}

}  // namespace vx
