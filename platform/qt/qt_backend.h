// What the Qt backend's files share among themselves. Nothing above the
// platform seam includes this.
#pragma once

#include <QPoint>
#include <QString>
#include <string>

#include "platform/types.h"

class QEvent;
class QIcon;
class QObject;
class QPixmap;
class QWidget;

namespace vx::platform {
class Window;
}

namespace vx::platform::qt {

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
int ModalDepth();

// The top-level widget of a window, or null when there is none.
QWidget* TopLevelOf(HWND hWnd);
// The model window a top-level widget stands for, or null.
Window* ModelOf(const QWidget* topLevel);

// Keys on the way to a form's widgets: the form sees them first. Returns true
// when the key was used up (Alt+Space opening the system menu).
bool PreviewKey(QObject* receiver, QEvent* event);

// The substitute system menu of a window, opened at a global position.
void ShowSystemMenu(HWND hWnd, QPoint globalPos);

// Pictures made by CreatePicture; an empty icon for an unknown handle.
QIcon PictureIcon(HICON picture);
QPixmap PicturePixmap(HICON picture);

// SIGTERM, SIGINT, SIGHUP and the desktop session's end.
void InstallShutdownHandlers();
// Sends SC_CLOSE to every window, the way the close box would.
void CloseAllWindows();

// Releases what the tray and pictures hold before the program ends.
void ReleaseTrayIcons();
void ReleasePictures();

}  // namespace vx::platform::qt
