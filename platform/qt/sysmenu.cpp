// The substitute system menu: Linux window managers keep the title bar's menu
// to themselves, so a right-button click on a window, or Alt+Space, opens
// this one. It lists the window's system menu (the standard commands and what
// AppendMenuA added), and every choice goes as WM_SYSCOMMAND through the
// window procedure chain, as the real system menu's would.
#include <QAction>
#include <QMenu>

#include "platform/forms.h"
#include "platform/portable/wndproc.h"
#include "platform/qt/qt_backend.h"
#include "platform/user32.h"

namespace vx::platform::qt {

namespace {

constexpr UINT kMfGrayed = 0x0001;
constexpr UINT kMfDisabled = 0x0002;
constexpr UINT kMfChecked = 0x0008;

// Greyed as Windows greys them: Restore on a window that is not minimised,
// Minimize on a window without a minimise box.
bool StandardCommandAvailable(const Window& window, std::uintptr_t id) {
    switch (id & 0xFFF0) {
    case SC_RESTORE: return window.windowState() == WindowState::Minimized;
    case SC_MINIMIZE: return window.border() == BorderStyle::FixedSingle;
    case SC_MAXIMIZE:
    case SC_SIZE: return false;
    default: return true;
    }
}

}  // namespace

void ShowSystemMenu(HWND hWnd, QPoint globalPos) {
    Window* window = Window::fromHandle(hWnd);
    if (!window || window->border() == BorderStyle::Hidden || !window->visible()) return;

    QMenu menu;
    std::vector<std::pair<QAction*, std::uintptr_t>> commands;
    for (const portable::SystemMenuItem& item : portable::SystemMenu(hWnd)) {
        if (item.flags & MF_SEPARATOR) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(ToQ(item.text));
        action->setEnabled(!(item.flags & (kMfGrayed | kMfDisabled)) && StandardCommandAvailable(*window, item.id));
        if (item.flags & kMfChecked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        commands.emplace_back(action, item.id);
    }

    QAction* chosen = nullptr;
    {
        ModalScope modal;
        chosen = menu.exec(globalPos);
    }
    if (!chosen) return;
    for (const auto& [action, id] : commands)
        if (action == chosen) {
            // The window may have gone while the menu was open.
            if (Window::fromHandle(hWnd)) SendMessageA(hWnd, WM_SYSCOMMAND, id, 0);
            return;
        }
}

}  // namespace vx::platform::qt
