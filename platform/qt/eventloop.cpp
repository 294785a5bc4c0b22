// The event loop, work posted to it, and quitting.
//
// Posted work runs only when no message box or menu of ours is open: a
// handler that posted the release of its own form may still be on the stack
// underneath such a nested loop.
#include <QApplication>
#include <QMetaObject>

#include <deque>
#include <functional>

#include "platform/app.h"
#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_testing.h"

namespace vx::platform {

namespace {

std::deque<std::function<void()>> g_posted;
bool g_flushScheduled = false;
bool g_quitRequested = false;
bool g_inEventLoop = false;  // inside RunEventLoop's exec()
int g_modalDepth = 0;

void Flush();

void ScheduleFlush() {
    if (g_flushScheduled || !QCoreApplication::instance()) return;
    g_flushScheduled = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            g_flushScheduled = false;
            Flush();
        },
        Qt::QueuedConnection);
}

void Flush() {
    while (g_modalDepth == 0 && !g_posted.empty()) {
        auto fn = std::move(g_posted.front());
        g_posted.pop_front();
        fn();
    }
    if (g_modalDepth == 0 && g_quitRequested && g_inEventLoop) QCoreApplication::exit(0);
}

}  // namespace

namespace qt {

ModalScope::ModalScope() { ++g_modalDepth; }

ModalScope::~ModalScope() {
    if (--g_modalDepth == 0 && (!g_posted.empty() || g_quitRequested)) ScheduleFlush();
}

int ModalDepth() { return g_modalDepth; }

}  // namespace qt

int RunEventLoop() {
    int rc = 0;
    if (!g_quitRequested) {
        g_inEventLoop = true;
        rc = QCoreApplication::exec();
        g_inEventLoop = false;
    }
    // What the last events left behind: released forms, widgets waiting for
    // deletion, the tray icons.
    Flush();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qt::ReleaseTrayIcons();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qt::ReleasePictures();
    return rc;
}

void Quit() {
    g_quitRequested = true;
    // exit() rather than quit(): quit() first asks every shown window to close,
    // and a form's window answers that through its close handler.
    if (!g_inEventLoop) return;  // RunEventLoop will not start it
    if (g_modalDepth == 0)
        QCoreApplication::exit(0);
    else
        ScheduleFlush();
}

void Post(std::function<void()> fn) {
    g_posted.push_back(std::move(fn));
    ScheduleFlush();
}

namespace qt_testing {

void ProcessEvents() {
    QCoreApplication::processEvents();
    Flush();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool QuitRequested() { return g_quitRequested; }
void ResetQuit() { g_quitRequested = false; }

}  // namespace qt_testing

}  // namespace vx::platform
