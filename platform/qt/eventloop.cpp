// The event loop, work posted to it, and quitting.
//
// Posted work runs only when no message box or menu of ours is open: a
// handler that posted the release of its own form may still be on the stack
// underneath such a nested loop.
#include <QApplication>
#include <QMetaObject>

#include "platform/app.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace qt {

namespace {

void ScheduleFlush() {
    if (S().flushScheduled || !QCoreApplication::instance()) return;
    S().flushScheduled = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            S().flushScheduled = false;
            FlushPosted();
        },
        Qt::QueuedConnection);
}

}  // namespace

void FlushPosted() {
    State& s = S();
    while (s.modalDepth == 0 && !s.posted.empty()) {
        auto fn = std::move(s.posted.front());
        s.posted.pop_front();
        fn();
    }
    if (s.modalDepth == 0 && s.quitRequested && s.inEventLoop) QCoreApplication::exit(0);
}

ModalScope::ModalScope() { ++S().modalDepth; }

ModalScope::~ModalScope() {
    if (--S().modalDepth == 0 && (!S().posted.empty() || S().quitRequested)) ScheduleFlush();
}

}  // namespace qt

int RunEventLoop() {
    qt::State& s = qt::S();
    int rc = 0;
    if (!s.quitRequested) {
        s.inEventLoop = true;
        rc = QCoreApplication::exec();
        s.inEventLoop = false;
    }
    // What the last events left behind: released forms, widgets and icons
    // waiting for deletion, the tray icons still held.
    qt::FlushPosted();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qt::ReleaseTrayIcons();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qt::ReleasePictures();
    return rc;
}

void Quit() {
    qt::State& s = qt::S();
    s.quitRequested = true;
    // exit() rather than quit(): quit() first asks every shown window to close,
    // and a form's window answers that through its close handler.
    if (!s.inEventLoop) return;  // RunEventLoop will not start it
    if (s.modalDepth == 0)
        QCoreApplication::exit(0);
    else
        qt::ScheduleFlush();
}

void Post(std::function<void()> fn) {
    qt::S().posted.push_back(std::move(fn));
    qt::ScheduleFlush();
}

}  // namespace vx::platform
