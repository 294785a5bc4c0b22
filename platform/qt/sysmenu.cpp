// The substitute system menu: Linux window managers keep the title bar's menu
// to themselves, so a right-button click on a window, or Alt+Space, opens
// this one: the standard commands, then those the program added.
#include <QAction>
#include <QMenu>

#include "platform/forms.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform::qt {

void ShowSystemMenu(WindowHandle hWnd, QPoint globalPos) {
    Window* window = Window::fromHandle(hWnd);
    if (!window || window->border() == BorderStyle::Hidden || !window->visible()) return;

    // Greyed as Windows greys them: Restore on a window that is not
    // minimised, Minimize on a window without a minimise box.
    if (window->onSystemMenuOpening) window->onSystemMenuOpening();
    window = Window::fromHandle(hWnd);
    if (!window) return;
    QMenu menu;
    QAction* restore = menu.addAction(QStringLiteral("&Restore"));
    restore->setEnabled(window->windowState() == WindowState::Minimized);
    QAction* minimize = menu.addAction(QStringLiteral("Mi&nimize"));
    minimize->setEnabled(window->border() == BorderStyle::FixedSingle);
    menu.addSeparator();
    QAction* close = menu.addAction(QStringLiteral("&Close"));
    std::vector<QAction*> commands;
    for (const Window::SystemCommand& command : window->systemCommands()) {
        QAction* action = command.text.empty() ? menu.addSeparator() : menu.addAction(ToQ(command.text));
        if (command.checked) {
            action->setCheckable(true);
            action->setChecked(*command.checked);
        }
        commands.push_back(action);
    }

    QAction* chosen = nullptr;
    {
        ModalScope modal;
        chosen = menu.exec(globalPos);
    }
    // The window may have gone while the menu was open.
    window = Window::fromHandle(hWnd);
    if (!chosen || !window) return;
    if (chosen == restore) {
        window->setWindowState(WindowState::Normal);
    } else if (chosen == minimize) {
        window->setWindowState(WindowState::Minimized);
    } else if (chosen == close) {
        window->userCloseRequested();
    } else {
        for (std::size_t i = 0; i < commands.size(); ++i)
            if (commands[i] == chosen) window->userSystemCommand(i);
    }
}

}  // namespace vx::platform::qt
