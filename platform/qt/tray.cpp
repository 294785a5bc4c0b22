// The notification-area icon on QSystemTrayIcon.
//
// What the desktop reports (activation reasons) goes back to the owner
// window as the shell's mouse-message numbers, so the component's own decode
// table decides what a click means.
//
// Right button, on every kind of tray host, opens the owner's menu once:
// - XEmbed trays (trayer, XFCE, LXDE, MATE) report it as a Context
//   activation. No context menu is attached there, since Qt would pop that
//   up as well.
// - StatusNotifierItem hosts (KDE Plasma, GNOME's AppIndicator extension)
//   show the item's exported menu themselves, and GNOME hides items that have
//   none. There an empty placeholder menu is attached; the host asking to
//   show it is taken as the right-button press, and the owner's menu opens
//   instead. A host that also reports a Context activation for the same
//   press is heard once: a second report from the other source within a
//   second is the same press.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_testing.h"
#include "platform/shell.h"
#include "platform/user32.h"

namespace vx::platform {

namespace {

using Key = std::pair<HWND, UINT>;

constexpr int kPollIntervalMs = 2000;
constexpr int kPollTries = 60;  // two minutes for a tray host to turn up
constexpr qint64 kSamePressMs = 1000;

struct TrayEntry {
    NOTIFYICONDATA record;
    QObject* holder = nullptr;  // owns the icon and the poll timer
    QSystemTrayIcon* icon = nullptr;
    QMenu* placeholder = nullptr;
    QTimer* poll = nullptr;
    int pollsLeft = 0;
};

std::map<Key, TrayEntry>& Entries() {
    static std::map<Key, TrayEntry> entries;
    return entries;
}

std::function<bool()> g_hostProbe;
int g_pollIntervalMs = kPollIntervalMs;

bool TrayHostPresent() { return g_hostProbe ? g_hostProbe() : QSystemTrayIcon::isSystemTrayAvailable(); }

// The same question Qt asks to choose its StatusNotifierItem path over XEmbed.
bool StatusNotifierHostPresent() {
    static const bool present = [] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !bus.interface()) return false;
        const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
        if (!bus.interface()->isServiceRegistered(service)) return false;
        QDBusInterface watcher(service, QStringLiteral("/StatusNotifierWatcher"), service, bus);
        return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
    }();
    return present;
}

std::string TipText(const NOTIFYICONDATA& record) {
    const void* nul = std::memchr(record.szTip, '\0', sizeof record.szTip);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - record.szTip)
                              : sizeof record.szTip;
    return std::string(record.szTip, n);
}

// Sends one mouse message to the owner; false once the icon has gone.
bool Deliver(const Key& key, LPARAM mouseMessage) {
    auto it = Entries().find(key);
    if (it == Entries().end()) return false;
    const NOTIFYICONDATA r = it->second.record;
    SendMessageA(r.hWnd, r.uCallbackMessage, r.uID, mouseMessage);
    return true;
}

enum class RightSource { None, Activation, MenuRequest };
RightSource g_lastRightSource = RightSource::None;
QElapsedTimer g_lastRightClick;
bool g_rightClickRunning = false;

void RightClick(const Key& key, RightSource source) {
    if (g_rightClickRunning) return;
    if (g_lastRightClick.isValid() && g_lastRightSource != source && g_lastRightClick.elapsed() < kSamePressMs)
        return;
    g_lastRightSource = source;
    g_rightClickRunning = true;
    if (Deliver(key, WM_RBUTTONDOWN)) Deliver(key, WM_RBUTTONUP);
    g_rightClickRunning = false;
    g_lastRightClick.start();
}

void OnActivated(const Key& key, QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (Deliver(key, WM_LBUTTONDOWN)) Deliver(key, WM_LBUTTONUP);
        break;
    case QSystemTrayIcon::DoubleClick: Deliver(key, WM_LBUTTONDBLCLK); break;
    case QSystemTrayIcon::Context: RightClick(key, RightSource::Activation); break;
    case QSystemTrayIcon::MiddleClick:
        if (Deliver(key, WM_MBUTTONDOWN)) Deliver(key, WM_MBUTTONUP);
        break;
    default: break;
    }
}

void Apply(TrayEntry& entry, UINT flags) {
    if (flags & NIF_ICON) entry.icon->setIcon(qt::PictureIcon(entry.record.hIcon));
    if (flags & NIF_TIP) entry.icon->setToolTip(qt::ToQ(TipText(entry.record)));
}

void Add(const Key& key, const NOTIFYICONDATA& record) {
    TrayEntry& entry = Entries()[key];
    entry.record = record;
    entry.holder = new QObject;
    entry.icon = new QSystemTrayIcon(entry.holder);
    Apply(entry, record.uFlags);
    QObject::connect(entry.icon, &QSystemTrayIcon::activated, entry.icon,
                     [key](QSystemTrayIcon::ActivationReason reason) { OnActivated(key, reason); });

    if (StatusNotifierHostPresent()) {
        entry.placeholder = new QMenu;
        QObject::connect(entry.placeholder, &QMenu::aboutToShow, entry.placeholder, [key] {
            // Not inside the host's request: the owner's menu runs its own loop.
            QTimer::singleShot(0, [key] { RightClick(key, RightSource::MenuRequest); });
        });
        entry.icon->setContextMenu(entry.placeholder);
    }

    if (TrayHostPresent()) {
        entry.icon->show();
        return;
    }
    // Desktops often start their tray after their programs: keep asking.
    entry.poll = new QTimer(entry.holder);
    entry.pollsLeft = kPollTries;
    QObject::connect(entry.poll, &QTimer::timeout, entry.poll, [key] {
        auto it = Entries().find(key);
        if (it == Entries().end()) return;
        TrayEntry& e = it->second;
        if (TrayHostPresent()) {
            e.poll->stop();
            e.icon->show();
        } else if (--e.pollsLeft <= 0) {
            e.poll->stop();
        }
    });
    entry.poll->start(g_pollIntervalMs);
}

void Drop(TrayEntry& entry, bool now) {
    if (entry.poll) entry.poll->stop();
    if (now) {
        delete entry.holder;
        delete entry.placeholder;
        return;
    }
    // The icon may be the one whose click brought us here: hiding it now
    // would delete the tray's widget under its own mouse handler. The icon
    // leaves the tray as it is deleted, once this event is over.
    entry.holder->deleteLater();
    if (entry.placeholder) entry.placeholder->deleteLater();
}

}  // namespace

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATA* data) {
    if (!data) return 0;
    const Key key{data->hWnd, data->uID};
    auto it = Entries().find(key);
    switch (message) {
    case NIM_ADD:
        if (it != Entries().end()) return 0;
        Add(key, *data);
        return 1;
    case NIM_MODIFY: {
        if (it == Entries().end()) return 0;
        TrayEntry& entry = it->second;
        // Only the flagged parts change; the rest stays as last given.
        if (data->uFlags & NIF_MESSAGE) entry.record.uCallbackMessage = data->uCallbackMessage;
        if (data->uFlags & NIF_ICON) entry.record.hIcon = data->hIcon;
        if (data->uFlags & NIF_TIP) std::memcpy(entry.record.szTip, data->szTip, sizeof data->szTip);
        Apply(entry, data->uFlags);
        return 1;
    }
    case NIM_DELETE:
        if (it == Entries().end()) return 0;
        Drop(it->second, false);
        Entries().erase(it);
        return 1;
    default: return 0;
    }
}

namespace qt {

void ReleaseTrayIcons() {
    for (auto& [key, entry] : Entries()) Drop(entry, true);
    Entries().clear();
}

}  // namespace qt

namespace qt_testing {

QSystemTrayIcon* TrayIcon(HWND hWnd, UINT id) {
    auto it = Entries().find(Key{hWnd, id});
    return it == Entries().end() ? nullptr : it->second.icon;
}

std::size_t TrayIconCount() { return Entries().size(); }

void SetTrayHostProbe(std::function<bool()> probe, int pollIntervalMs) {
    g_hostProbe = std::move(probe);
    g_pollIntervalMs = pollIntervalMs > 0 ? pollIntervalMs : kPollIntervalMs;
}

}  // namespace qt_testing

}  // namespace vx::platform
