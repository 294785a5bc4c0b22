// Being asked to end from outside: SIGTERM, SIGINT, SIGHUP, or the desktop
// session ending. The windows are closed the normal way, so the monitor saves
// its totals as it does when the user closes it. A second signal while that
// is going on ends the program at once.
#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>

#include "platform/app.h"
#include "platform/forms.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform::qt {

namespace {

void OnSignal(int signo) {
    State& s = S();
    if (s.signalled) _exit(128 + signo);
    s.signalled = 1;
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(s.signalPipe[1], &byte, 1);
}

void Catch(int signo, bool unlessIgnored) {
    struct sigaction current {};
    ::sigaction(signo, nullptr, &current);
    // Started with the signal ignored (nohup, a background job): keep it so.
    if (unlessIgnored && current.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signo, &action, nullptr);
}

// Each window is asked as its close box would ask it.
void CloseNow() {
    std::vector<WindowHandle> handles;
    for (Window* window : Window::all())
        if (window->border() != BorderStyle::Hidden) handles.push_back(window->hWnd());
    // An earlier close may have taken a later window with it.
    for (WindowHandle hWnd : handles)
        if (Window* window = Window::fromHandle(hWnd)) window->userCloseRequested();
}

void CloseAllWindows() {
    if (S().modalDepth == 0) {
        CloseNow();
        return;
    }
    // A menu or message box of ours is open, with its caller on the stack:
    // close it, and the windows once that caller has finished.
    for (int i = 0; i < 16; ++i) {
        QWidget* open = QApplication::activePopupWidget();
        if (!open) open = QApplication::activeModalWidget();
        if (!open || !open->close()) break;
    }
    Post(CloseNow);
}

}  // namespace

void InstallShutdownHandlers() {
    int* fds = S().signalPipe;
    if (fds[0] < 0) {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
        auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
            char bytes[16];
            while (::read(S().signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            CloseAllWindows();
        });
    }
    Catch(SIGTERM, false);
    Catch(SIGINT, true);
    Catch(SIGHUP, true);

    // Logging out: the session manager asks before it ends the program.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app) {
        QObject::connect(app, &QGuiApplication::commitDataRequest, app, [](QSessionManager&) { CloseAllWindows(); });
    }
}

}  // namespace vx::platform::qt
