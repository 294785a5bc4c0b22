// What the Qt backend's files share among themselves, and the one place that
// holds the backend's state. Nothing above the platform seam includes this.
//
// The Linux backend, at a glance:
// - Windows and controls: QWidget peers of the portable models; twips to
//   pixels at the font's dpi; pictures drawn at the size asked (HiDPI).
// - System menu: a substitute (right click on the window, or Alt+Space) with
//   the program's commands after restore, minimise and close.
// - Tray: QSystemTrayIcon on XEmbed trays and StatusNotifierItem hosts (the
//   host's own menu, its activation as the double click); TrayAvailable()
//   asks Qt, so a desktop without a tray keeps a minimised window.
// - Notices: QSystemTrayIcon::showMessage (the desktop's notifications).
// - Message boxes: QMessageBox, modal, its own event loop (timers go on).
// - Network: a plain HTTP client and POSIX sockets on workers (platform/posix,
//   sockets, threaded, upnp); files: the portable profile rules, XDG folders.
// - A window hidden in the tray sets no figures, bars or caption on its
//   widgets; they catch up when it is shown again.
// - No-ops: none that the program relies on.
#pragma once

#include <QDate>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <QTime>
#include <QWidget>

#include <csignal>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/pictures.h"
#include "platform/tray.h"

class QEvent;
class QMenu;
class QPixmap;
class QTimer;

namespace vx::platform::qt {

class QtTrayIcon;

// A picture made by CreatePicture.
struct Picture {
    QImage image;        // at its own size
    SquareDrawing draw;  // null: it exists only as `image`
    QIcon icon;          // made on first use
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

// Twips to pixels at the dots per inch fonts are drawn at: 15 twips to the
// pixel at 96, and Qt's own high-dpi scaling does the rest.
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

// Pictures made by CreatePicture; an empty icon for an unknown handle. A
// picture made with its drawing is drawn at each size asked for, so its icon
// and its pixmap at a device pixel ratio above 1 are as sharp as at 1.
QIcon PictureIcon(PictureHandle picture);
QPixmap PicturePixmap(PictureHandle picture, qreal devicePixelRatio = 1.0);

// SIGTERM, SIGINT, SIGHUP and the desktop session's end.
void InstallShutdownHandlers();

// Releases what the tray and pictures hold before the program ends.
void ReleaseTrayIcons();
void ReleasePictures();

// ---- Peers of the form models: one top-level widget per window, one child
// widget (or timer) per control (window_peer.cpp, controls.cpp).

class QtWindowPeer;

// The window's client area is the top-level widget itself, at the client size.
class FormWidget : public QWidget {
public:
    FormWidget(QtWindowPeer* owner, Qt::WindowFlags flags) : QWidget(nullptr, flags), peer(owner) {}
    QtWindowPeer* peer;  // null once the model window is gone

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

class QtWindowPeer : public WindowPeer {
public:
    explicit QtWindowPeer(Window& model);
    ~QtWindowPeer() override;

    WindowHandle handle() const override { return handle_; }
    void changed(Prop what) override;
    void stateChanged() override;
    void raise() override;
    std::unique_ptr<ControlPeer> createControlPeer(Control& control) override;

    Window& model() const { return model_; }
    FormWidget* widget() const { return widget_; }
    // Hidden after it was shown (in the tray): what its figures show waits
    // until it is shown again.
    bool deferring() const { return deferring_; }

private:
    void showWidget();
    void applyOnTop();

    Window& model_;
    WindowHandle handle_;
    FormWidget* widget_;
    bool everShown_ = false;
    bool deferring_ = false;
    bool titleDeferred_ = false;
};

class QtControlPeer : public ControlPeer {
public:
    virtual QWidget* widget() const = 0;  // null for a timer
    // Shows what changed while its window was hidden.
    virtual void catchUp() {}
};

std::unique_ptr<QtControlPeer> CreateControlPeer(Control& control, QWidget* parent);
std::unique_ptr<QtControlPeer> CreateChartPeer(Chart& control, QWidget* parent);  // chart.cpp

// ---- The notification-area icon on QSystemTrayIcon (tray.cpp).

class QtTrayIcon : public TrayIcon {
public:
    QtTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events);
    ~QtTrayIcon() override;

    void setPicture(PictureHandle picture) override;
    void setTip(const std::string& tip) override;
    void setMenu(const TrayMenu& menu) override;
    void popUpMenu() override;
    void notify(const std::string& title, const std::string& text) override;

    QSystemTrayIcon* native() const { return icon_; }
    bool statusNotifier() const { return statusNotifier_; }
    // Deletes the native objects now (the program is ending).
    void release();

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void click(MouseButton button);
    void choose(int index);
    void fillHostMenu();

    TrayEvents events_;
    TrayMenu menu_;
    bool statusNotifier_;        // the host draws the menu and reports activation
    QSystemTrayIcon* icon_;      // deleted later: its own click may be on the stack
    QMenu* hostMenu_ = nullptr;  // the menu a StatusNotifierItem host draws
    QTimer* poll_ = nullptr;     // asks for a tray host that came late
    int pollsLeft_ = 0;
    std::shared_ptr<bool> alive_;  // false once this object is gone
    QObject guard_;                // every connection's context: they end with this object
};

// ---- Regional text for a given locale (regional.cpp; the program uses the system's).

// The locale's time format, always with seconds and without a time zone.
QString TimeFormatWithSeconds(const QLocale& locale);
QString DateText(const QLocale& locale, const QDate& date);
QString TimeText(const QLocale& locale, const QTime& time);
// Grouped, with exactly `decimals` decimals.
QString NumberText(const QLocale& locale, double value, int decimals);

}  // namespace vx::platform::qt
