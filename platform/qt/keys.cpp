// Keys: the form sees a key before the focused control when it has key
// preview on, or when nothing inside it has the focus.
#include <QKeyEvent>
#include <QWidget>

#include "platform/forms.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform::qt {

namespace {

constexpr int kShiftMask = 1;
constexpr int kCtrlMask = 2;
constexpr int kAltMask = 4;

// The Windows virtual-key code of a key; 0 for keys without one here.
int VirtualKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: return 0;
    }
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
    int shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= kShiftMask;
    if (modifiers & Qt::ControlModifier) shift |= kCtrlMask;
    if (modifiers & Qt::AltModifier) shift |= kAltMask;
    return shift;
}

// The character code of a key press; 0 for keys that type nothing. Characters
// beyond Latin-1 arrive as "?", as the ANSI conversion would give them.
int KeyAscii(const QString& text) {
    if (text.isEmpty()) return 0;
    const char16_t c = text.at(0).unicode();
    return c < 256 ? c : '?';
}

}  // namespace

bool PreviewKey(QObject* receiver, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !receiver->isWidgetType()) return false;
    auto* target = static_cast<QWidget*>(receiver);
    QWidget* top = target->window();
    Window* window = ModelOf(top);
    if (!window) return false;
    auto* key = static_cast<QKeyEvent*>(event);

    if (type == QEvent::KeyPress && key->key() == Qt::Key_Space && (key->modifiers() & Qt::AltModifier)) {
        ShowSystemMenu(window->hWnd(), top->mapToGlobal(QPoint(0, 0)));
        return true;
    }
    if (!window->keyPreview && target != top) return false;

    if (type == QEvent::KeyPress) {
        if (const int ascii = KeyAscii(key->text())) window->userKeyPress(ascii);
    } else if (!key->isAutoRepeat()) {
        // Windows reports one release at the end of a held key.
        if (const int code = VirtualKey(key->key())) window->userKeyUp(code, ShiftState(key->modifiers()));
    }
    return false;
}

}  // namespace vx::platform::qt
