// Popup menus at the cursor (the tray icon's menu).
#include <QAction>
#include <QCursor>
#include <QMenu>

#include "platform/menus.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

int PopupMenu(HWND /*owner*/, const std::vector<MenuItem>& items, int defaultIndex, UINT /*flags*/) {
    QMenu menu;
    std::vector<QAction*> actions;
    actions.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        QAction* action = item.caption == "-" ? menu.addSeparator() : menu.addAction(qt::ToQ(item.caption));
        action->setVisible(item.visible);
        action->setEnabled(item.enabled);
        if (static_cast<int>(i) == defaultIndex && !action->isSeparator()) {
            menu.setDefaultAction(action);
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
        }
        actions.push_back(action);
    }
    QAction* chosen = nullptr;
    {
        qt::ModalScope modal;
        chosen = menu.exec(QCursor::pos());
    }
    for (std::size_t i = 0; i < actions.size(); ++i)
        if (actions[i] == chosen) return static_cast<int>(i);
    return -1;
}

}  // namespace vx::platform
