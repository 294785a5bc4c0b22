// The notification-area icon on QSystemTrayIcon (tray.cpp).
#pragma once

#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

#include "platform/tray.h"

class QMenu;
class QTimer;

namespace vx::platform::qt {

class QtTrayIcon : public TrayIcon {
public:
    QtTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events);
    ~QtTrayIcon() override;

    void setPicture(PictureHandle picture) override;
    void setTip(const std::string& tip) override;
    void setMenu(const TrayMenu& menu) override;
    void popUpMenu() override;

    QSystemTrayIcon* native() const { return icon_; }
    bool statusNotifier() const { return statusNotifier_; }
    // Deletes the native objects now (the program is ending).
    void release();

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void click(MouseButton button);
    void choose(int index);
    void fillHostMenu();

    TrayEvents events_;
    TrayMenu menu_;
    bool statusNotifier_;        // the host draws the menu and reports activation
    QSystemTrayIcon* icon_;      // deleted later: its own click may be on the stack
    QMenu* hostMenu_ = nullptr;  // the menu a StatusNotifierItem host draws
    QTimer* poll_ = nullptr;     // asks for a tray host that came late
    int pollsLeft_ = 0;
    std::shared_ptr<bool> alive_;  // false once this object is gone
    QObject guard_;                // every connection's context: they end with this object
};

}  // namespace vx::platform::qt
