// Keys: the form sees a key before the focused control when it has key
// preview on, or when nothing inside it has the focus.
#include <QKeyEvent>
#include <QWidget>

#include <utility>

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
    static constexpr std::pair<int, int> kOthers[] = {
        {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},      {Qt::Key_Backtab, 0x09}, {Qt::Key_Return, 0x0D},
        {Qt::Key_Enter, 0x0D},     {Qt::Key_Shift, 0x10},    {Qt::Key_Control, 0x11}, {Qt::Key_Alt, 0x12},
        {Qt::Key_Pause, 0x13},     {Qt::Key_CapsLock, 0x14}, {Qt::Key_Escape, 0x1B},  {Qt::Key_Space, 0x20},
        {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23},     {Qt::Key_Home, 0x24},
        {Qt::Key_Left, 0x25},      {Qt::Key_Up, 0x26},       {Qt::Key_Right, 0x27},   {Qt::Key_Down, 0x28},
        {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, 0x2E}};
    for (const auto& [qtKey, code] : kOthers)
        if (qtKey == key) return code;
    return 0;
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
