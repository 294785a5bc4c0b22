// The floor for our measurements: the least a Qt 6 program with a tray icon
// and a one-second timer costs, doing nothing else.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QPixmap picture(32, 32);
    picture.fill(Qt::white);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip("floor");
    tray.show();
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1000);
    return app.exec();
}
