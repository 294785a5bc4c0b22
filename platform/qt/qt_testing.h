// Hooks for the Qt backend's own tests; the program never calls them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"

class QSystemTrayIcon;
class QWidget;

namespace vx::platform {
class Control;
}

namespace vx::platform::qt_testing {

// Makes AppPath() answer this folder instead of the executable's.
void SetAppPath(const std::string& folder);

// The top-level widget of a window and the widget of one control.
QWidget* WindowWidget(HWND hWnd);
QWidget* ControlWidget(const Control& control);

// The tray icons that Shell_NotifyIconA keeps, by owner window and id.
QSystemTrayIcon* TrayIcon(HWND hWnd, UINT id);
std::size_t TrayIconCount();
// Replaces the question "is there a tray host?" and the polling interval.
void SetTrayHostProbe(std::function<bool()> probe, int pollIntervalMs);

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
