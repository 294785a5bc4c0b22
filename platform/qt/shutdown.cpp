// Being asked to end from outside: SIGTERM, SIGINT, SIGHUP, or the desktop
// session ending. The windows are closed the normal way, so the monitor saves
// its totals as it does when the user closes it. A second signal while that
// is going on ends the program at once.
#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/app.h"
#include "platform/forms.h"
#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_testing.h"
#include "platform/user32.h"

namespace vx::platform::qt {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signalled = 0;

void OnSignal(int signo) {
    if (g_signalled) _exit(128 + signo);
    g_signalled = 1;
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
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

void CloseNow() {
    const std::vector<Window*> windows = Window::all();
    for (Window* window : windows) {
        if (window->border() == BorderStyle::Hidden) continue;
        const HWND hWnd = window->hWnd();
        // An earlier close may have taken this window with it.
        if (Window::fromHandle(hWnd)) SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

}  // namespace

void CloseAllWindows() {
    if (ModalDepth() == 0) {
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

void InstallShutdownHandlers() {
    if (g_pipe[0] < 0) {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
            char bytes[16];
            while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
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

namespace vx::platform::qt_testing {

void ResetSignalState() { qt::g_signalled = 0; }

void DetachSignalPipe() {
    ::close(qt::g_pipe[1]);
    qt::g_pipe[1] = -1;
}

}  // namespace vx::platform::qt_testing
