// A stand-in StatusNotifierItem tray host for the end-to-end tests, on a
// private session bus: the watcher service a tray icon registers with, and a
// host that asks for an item's menu the ways KDE Plasma and GNOME's
// AppIndicator extension do.
//
// Commands on standard input, one a line:
//   menu      ask to show the item's exported menu (dbusmenu AboutToShow)
//   context   ask the item for its context menu (ContextMenu at 0,0)
//   both      both, for one press of the right button
// Prints "registered SERVICE" when an item registers, "sent" per command.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

}  // namespace

class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return service_.isEmpty() ? QStringList() : QStringList{service_ + path_}; }

    void send(const std::string& command) {
        if (service_.isEmpty()) {
            std::printf("error no item\n");
            std::fflush(stdout);
            return;
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (command == "context" || command == "both") {
            QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, kItemInterface, "ContextMenu");
            call.setArguments({0, 0});
            bus.asyncCall(call);
        }
        if (command == "menu" || command == "both") {
            QDBusMessage get = QDBusMessage::createMethodCall(service_, path_, "org.freedesktop.DBus.Properties", "Get");
            get.setArguments({kItemInterface, QStringLiteral("Menu")});
            const QDBusMessage reply = bus.call(get);
            const QVariant menu = reply.arguments().value(0).value<QDBusVariant>().variant();
            const QString menuPath = menu.value<QDBusObjectPath>().path();
            QDBusMessage show =
                QDBusMessage::createMethodCall(service_, menuPath, "com.canonical.dbusmenu", "AboutToShow");
            show.setArguments({0});
            bus.asyncCall(show);
        }
        std::printf("sent\n");
        std::fflush(stdout);
    }

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
        if (serviceOrPath.startsWith(u'/')) {
            service_ = message.service();
            path_ = serviceOrPath;
        } else {
            service_ = serviceOrPath;
            path_ = QStringLiteral("/StatusNotifierItem");
        }
        std::printf("registered %s\n", qPrintable(service_));
        std::fflush(stdout);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QString service_;
    QString path_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher;
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
        !bus.registerService(kWatcher)) {
        std::fprintf(stderr, "cannot take the watcher's name: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            app.quit();
            return;
        }
        watcher.send(line);
    });
    return app.exec();
}

#include "sni_host.moc"
