// The test hooks of qt_testing.h, over the backend's state.
#include "tests/qt/qt_testing.h"

#include <QApplication>

#include <unistd.h>

#include "platform/qt/qt_backend.h"

namespace vx::platform::qt_testing {

void SetAppPath(const std::string& folder) { qt::S().appPath = folder; }

QWidget* WindowWidget(WindowHandle hWnd) {
    Window* window = Window::fromHandle(hWnd);
    auto* peer = window ? dynamic_cast<qt::QtWindowPeer*>(window->peer()) : nullptr;
    return peer ? peer->widget() : nullptr;
}

QWidget* ControlWidget(const Control& control) {
    auto* peer = dynamic_cast<qt::QtControlPeer*>(control.peer());
    return peer ? peer->widget() : nullptr;
}

QSystemTrayIcon* TrayIcon() { return qt::S().trays.empty() ? nullptr : qt::S().trays.back()->native(); }

std::size_t TrayIconCount() { return qt::S().trays.size(); }

void SetTrayHost(std::function<bool()> present, int pollIntervalMs, bool statusNotifier) {
    qt::S().trayHostProbe = std::move(present);
    qt::S().trayPollMs = pollIntervalMs > 0 ? pollIntervalMs : qt::State().trayPollMs;
    qt::S().statusNotifierHost = statusNotifier;
}

void ProcessEvents() {
    QCoreApplication::processEvents();
    qt::FlushPosted();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool QuitRequested() { return qt::S().quitRequested; }
void ResetQuit() { qt::S().quitRequested = false; }

void ResetSignalState() { qt::S().signalled = 0; }

void DetachSignalPipe() {
    ::close(qt::S().signalPipe[1]);
    qt::S().signalPipe[1] = -1;
}

}  // namespace vx::platform::qt_testing
