// Hooks for the Qt backend's own tests, defined in qt_testing.cpp, which only
// the test program links: the program itself has none of them.
#pragma once

#include <functional>
#include <string>

#include "platform/types.h"

class QSystemTrayIcon;
class QWidget;

namespace vx::platform {
class Control;
}

namespace vx::platform::qt_testing {

// Makes AppPath() answer this folder; empty: the executable's again.
void SetAppPath(const std::string& folder);

// The top-level widget of a window and the widget of one control.
QWidget* WindowWidget(WindowHandle hWnd);
QWidget* ControlWidget(const Control& control);

// The newest tray icon's QSystemTrayIcon (null when there is none), and how
// many icons there are.
QSystemTrayIcon* TrayIcon();
std::size_t TrayIconCount();
// The tray host icons made from now on see: whether there is one (null: ask
// Qt), how often to ask again (0: the usual 2 s), and whether it is a
// StatusNotifierItem host rather than an XEmbed tray.
void SetTrayHost(std::function<bool()> present, int pollIntervalMs, bool statusNotifier);

// Runs what was posted and deletes what waits for deletion, as the event
// loop would once the current event is done.
void ProcessEvents();

// Whether Quit() was called; and forgetting it for the next program.
bool QuitRequested();
void ResetQuit();

// Forgets that a signal arrived, so a test may send another one.
void ResetSignalState();
// Cuts a forked child off from the parent's signal pipe.
void DetachSignalPipe();

}  // namespace vx::platform::qt_testing
