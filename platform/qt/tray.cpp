// The notification-area icon on QSystemTrayIcon, on either kind of tray host:
// - XEmbed trays (trayer, XFCE, LXDE, MATE) report clicks; the program's menu
//   is shown here, at the pointer, when the program asks for it.
// - StatusNotifierItem hosts (KDE Plasma, GNOME's AppIndicator extension)
//   draw the item's menu themselves, from the one Qt exports over D-Bus, and
//   report a left click as activation, which is what a double click means on
//   other trays. GNOME hides items without a menu.
#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>

#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace qt {

namespace {

constexpr int kPollTries = 60;  // two minutes at the usual interval

bool TrayHostPresent() { return S().trayHostProbe ? S().trayHostProbe() : QSystemTrayIcon::isSystemTrayAvailable(); }

// The same question Qt asks, once, to choose its StatusNotifierItem path
// over XEmbed.
bool StatusNotifierHostPresent() {
    std::optional<bool>& known = S().statusNotifierHost;
    if (!known) {
        known = [] {
            QDBusConnection bus = QDBusConnection::sessionBus();
            if (!bus.isConnected() || !bus.interface()) return false;
            const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
            if (!bus.interface()->isServiceRegistered(service)) return false;
            QDBusInterface watcher(service, QStringLiteral("/StatusNotifierWatcher"), service, bus);
            return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
        }();
    }
    return *known;
}

// Windows' menus choose with the left button only; QMenu also takes the right.
class LeftButtonMenu : public QMenu {
protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            QMenu::mouseReleaseEvent(event);
        else
            event->accept();
    }
};

// One action per item, so that an action's place is the item's index.
std::vector<QAction*> Fill(QMenu& menu, const TrayMenu& model) {
    std::vector<QAction*> actions;
    for (std::size_t i = 0; i < model.items.size(); ++i) {
        const TrayMenuItem& item = model.items[i];
        QAction* action = item.caption == "-" ? menu.addSeparator() : menu.addAction(ToQ(item.caption));
        action->setVisible(item.visible);
        action->setEnabled(item.enabled);
        if (static_cast<int>(i) == model.defaultIndex && !action->isSeparator()) {
            menu.setDefaultAction(action);
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
        }
        actions.push_back(action);
    }
    return actions;
}

}  // namespace

QtTrayIcon::QtTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events)
    : events_(std::move(events)),
      statusNotifier_(StatusNotifierHostPresent()),
      icon_(new QSystemTrayIcon),
      alive_(std::make_shared<bool>(true)) {
    S().trays.push_back(this);
    icon_->setIcon(PictureIcon(picture));
    icon_->setToolTip(ToQ(tip));
    QObject::connect(icon_, &QSystemTrayIcon::activated, &guard_,
                     [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
    // Only for a host that draws it: on XEmbed trays Qt would pop it up too.
    if (statusNotifier_) {
        hostMenu_ = new QMenu;
        icon_->setContextMenu(hostMenu_);
    }

    if (TrayHostPresent()) {
        icon_->show();
        return;
    }
    // Desktops often start their tray after their programs: keep asking.
    poll_ = new QTimer(icon_);
    pollsLeft_ = kPollTries;
    QObject::connect(poll_, &QTimer::timeout, &guard_, [this] {
        if (TrayHostPresent()) {
            poll_->stop();
            icon_->show();
        } else if (--pollsLeft_ <= 0) {
            poll_->stop();
        }
    });
    poll_->start(S().trayPollMs);
}

QtTrayIcon::~QtTrayIcon() {
    *alive_ = false;
    auto& trays = S().trays;
    trays.erase(std::remove(trays.begin(), trays.end(), this), trays.end());
    if (poll_) poll_->stop();
    // The icon may be the one whose click brought us here: deleting it now
    // would delete the tray's widget under its own mouse handler. It leaves
    // the tray as it is deleted, once this event is over.
    if (icon_) icon_->deleteLater();
    if (hostMenu_) hostMenu_->deleteLater();
}

void QtTrayIcon::release() {
    delete icon_;  // and its poll timer
    delete hostMenu_;
    icon_ = nullptr;
    hostMenu_ = nullptr;
    poll_ = nullptr;
}

void QtTrayIcon::setPicture(PictureHandle picture) {
    if (icon_) icon_->setIcon(PictureIcon(picture));
}

void QtTrayIcon::setTip(const std::string& tip) {
    if (icon_) icon_->setToolTip(ToQ(tip));
}

void QtTrayIcon::notify(const std::string& title, const std::string& text) {
    if (icon_) icon_->showMessage(ToQ(title), ToQ(text), QSystemTrayIcon::Information);
}

void QtTrayIcon::setMenu(const TrayMenu& menu) {
    menu_ = menu;
    if (hostMenu_) fillHostMenu();
}

void QtTrayIcon::fillHostMenu() {
    hostMenu_->clear();
    const std::vector<QAction*> actions = Fill(*hostMenu_, menu_);
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const int index = static_cast<int>(i);
        // Out of the host's D-Bus call first: the choice may end the program.
        QObject::connect(actions[i], &QAction::triggered, &guard_,
                         [this, index] { QTimer::singleShot(0, &guard_, [this, index] { choose(index); }); });
    }
}

void QtTrayIcon::popUpMenu() {
    if (statusNotifier_ || !icon_) return;
    LeftButtonMenu menu;
    const std::vector<QAction*> actions = Fill(menu, menu_);
    const std::shared_ptr<bool> alive = alive_;
    QAction* chosen = nullptr;
    {
        ModalScope modal;
        chosen = menu.exec(QCursor::pos());
    }
    if (!chosen || !*alive) return;
    const auto it = std::find(actions.begin(), actions.end(), chosen);
    if (it != actions.end()) choose(static_cast<int>(it - actions.begin()));
}

void QtTrayIcon::choose(int index) {
    const auto chosen = events_.menuChosen;  // the owner may let go of the icon
    if (chosen) chosen(index);
}

void QtTrayIcon::click(MouseButton button) {
    const std::shared_ptr<bool> alive = alive_;
    const auto pressed = events_.pressed;
    const auto released = events_.released;
    if (pressed) pressed(button);
    if (*alive && released) released(button);
}

void QtTrayIcon::activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (!statusNotifier_) {
            click(MouseButton::Left);
            break;
        }
        [[fallthrough]];  // a host's activation
    case QSystemTrayIcon::DoubleClick:
        if (const auto doubleClicked = events_.doubleClicked) doubleClicked(MouseButton::Left);
        break;
    case QSystemTrayIcon::Context:
        // A host that draws the menu has shown it already.
        if (!statusNotifier_) click(MouseButton::Right);
        break;
    case QSystemTrayIcon::MiddleClick: click(MouseButton::Middle); break;
    default: break;
    }
}

void ReleaseTrayIcons() {
    for (QtTrayIcon* tray : S().trays) tray->release();
}

}  // namespace qt

bool TrayAvailable() { return qt::TrayHostPresent(); }

std::unique_ptr<TrayIcon> CreateTrayIcon(PictureHandle picture, const std::string& tip, TrayEvents events) {
    return std::make_unique<qt::QtTrayIcon>(picture, tip, std::move(events));
}

}  // namespace vx::platform
