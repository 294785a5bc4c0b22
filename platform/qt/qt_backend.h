// What the Qt backend's files share among themselves, and the one place that
// holds the backend's state. Nothing above the platform seam includes this.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QString>

#include <csignal>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

class QEvent;
class QObject;
class QPixmap;
class QWidget;

namespace vx::platform {
class Window;
}

namespace vx::platform::qt {

class QtTrayIcon;

// A picture made by CreatePicture.
struct Picture {
    QImage image;
    QIcon icon;  // made on first use
};

struct State {
    std::string commandLine;  // everything after the program name, as typed
    std::string appPath;      // a test's program folder; empty: the executable's

    std::deque<std::function<void()>> posted;  // Post()ed work, run when no modal loop is open
    bool flushScheduled = false;               // a run of `posted` is queued on the event loop
    bool quitRequested = false;                // Quit() was called
    bool inEventLoop = false;                  // inside RunEventLoop's exec()
    int modalDepth = 0;                        // menus and message boxes of ours now open

    WindowHandle lastWindowHandle = 0x10000;  // handles are never reused
    PictureHandle lastPicture = 0x7000;
    std::map<PictureHandle, Picture> pictures;  // live until the program ends

    std::vector<QtTrayIcon*> trays;          // icons alive, oldest first
    std::function<bool()> trayHostProbe;     // a test's "is there a tray host?"; null: ask Qt
    int trayPollMs = 2000;                   // how often to ask for a tray host that came late
    std::optional<bool> statusNotifierHost;  // asked once, as Qt asks to pick its tray

    int signalPipe[2] = {-1, -1};              // the signal handler's byte reaches the loop here
    volatile std::sig_atomic_t signalled = 0;  // a signal arrived; a second one ends at once
};

// The backend's state; the signal handler reads it too.
State& S();

// Text is UTF-8 inside the program.
inline QString ToQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string FromQ(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// 15 twips to the pixel; Qt's own high-dpi scaling does the rest.
int PixelsFromTwips(int twips);

// Message boxes and menus run a nested event loop inside this scope. Work
// posted meanwhile waits until the outermost loop has control again, so it
// never runs under a handler that is still on the stack.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// Runs the posted work now, unless a modal loop is open.
void FlushPosted();

// The model window a top-level widget stands for, or null.
Window* ModelOf(const QWidget* topLevel);

// Keys on the way to a form's widgets: the form sees them first. Returns true
// when the key was used up (Alt+Space opening the system menu).
bool PreviewKey(QObject* receiver, QEvent* event);

// The substitute system menu of a window, opened at a global position.
void ShowSystemMenu(WindowHandle hWnd, QPoint globalPos);

// Pictures made by CreatePicture; an empty icon for an unknown handle.
QIcon PictureIcon(PictureHandle picture);
QPixmap PicturePixmap(PictureHandle picture);

// SIGTERM, SIGINT, SIGHUP and the desktop session's end.
void InstallShutdownHandlers();

// Releases what the tray and pictures hold before the program ends.
void ReleaseTrayIcons();
void ReleasePictures();

}  // namespace vx::platform::qt
