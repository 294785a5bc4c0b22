// Z-order and activation of the form windows.
#include <QWidget>
#include <QWindow>

#include "platform/forms.h"
#include "platform/qt/qt_backend.h"
#include "platform/user32.h"

namespace vx::platform {

namespace {

constexpr HWND kHwndTop = 0;
constexpr HWND kHwndBottom = 1;

}  // namespace

BOOL SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    QWidget* widget = qt::TopLevelOf(hWnd);
    if (!widget) return 0;
    if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
        const bool onTop = insertAfter == HWND_TOPMOST;
        // On the native window, not through QWidget::setWindowFlags, which
        // hides the widget and makes its native window anew.
        if (!widget->windowHandle()) widget->winId();
        QWindow* window = widget->windowHandle();
        if (!window) return 0;
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
        if (window->flags().testFlag(Qt::WindowStaysOnTopHint) != onTop) return 0;
        // Keep the widget's own record of its flags in step, without telling
        // the window system a second time.
        Qt::WindowFlags widgetFlags = widget->windowFlags();
        widgetFlags.setFlag(Qt::WindowStaysOnTopHint, onTop);
        widget->overrideWindowFlags(widgetFlags);
        if (onTop && widget->isVisible()) widget->raise();
    } else if (insertAfter == kHwndTop) {
        widget->raise();
    } else if (insertAfter == kHwndBottom) {
        widget->lower();
    }
    if (!(flags & SWP_NOMOVE)) widget->move(x, y);
    if (!(flags & SWP_NOSIZE)) widget->resize(cx, cy);
    return 1;
}

BOOL SetForegroundWindow(HWND hWnd) {
    QWidget* widget = qt::TopLevelOf(hWnd);
    if (!widget) return 0;
    // A hidden window (the tray's) has nothing to bring forward.
    if (widget->isVisible()) widget->activateWindow();
    return 1;
}

}  // namespace vx::platform
