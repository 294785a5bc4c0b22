// The floors for our measurements: the least a Qt 6 program with a tray icon
// and a one-second timer costs, doing nothing else; with --changing-tray, the
// least one costs whose tray picture and tip change every tick (what a
// program hidden in the tray must do at most); and with --window, the least
// one costs that also shows what vxstat shows each second (two bars and
// their figures changing, the tray picture changing now and then).
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool window = argc > 1 && std::strcmp(argv[1], "--window") == 0;
    const bool changingTray = argc > 1 && std::strcmp(argv[1], "--changing-tray") == 0;
    std::array<QPixmap, 2> pictures{QPixmap(32, 32), QPixmap(32, 32)};
    pictures[0].fill(Qt::white);
    pictures[1].fill(Qt::green);
    QSystemTrayIcon tray{QIcon(pictures[0])};
    tray.setToolTip("floor");
    tray.show();

    QWidget form;
    QProgressBar in(&form), out(&form);
    QLabel inFigure(&form), outFigure(&form);
    if (window) {
        form.setFixedSize(356, 37);
        out.setGeometry(28, 0, 215, 17);
        in.setGeometry(28, 18, 215, 17);
        outFigure.setGeometry(288, 0, 65, 17);
        inFigure.setGeometry(288, 20, 65, 17);
        for (QProgressBar* bar : {&in, &out}) {
            bar->setRange(0, 262144);
            bar->setTextVisible(false);
        }
        form.show();
    }
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        // Rates that wander as a line's do.
        const int rate = 100000 + (ticks * 7919) % 60000;
        if (changingTray) {
            tray.setIcon(QIcon(pictures[static_cast<std::size_t>(ticks % 2)]));
            tray.setToolTip("In: " + QString::number(rate / 1024) + "k/s\nOut: " + QString::number(rate / 8192) +
                            "k/s");
            return;
        }
        if (!window) return;
        in.setValue(rate);
        out.setValue(rate / 8);
        inFigure.setText(QString::number(rate / 1024) + "k/s");
        outFigure.setText(QString::number(rate / 8192) + "k/s");
        if (ticks % 5 == 0) tray.setIcon(QIcon(pictures[static_cast<std::size_t>(ticks / 5 % 2)]));
    });
    timer.start(1000);
    return app.exec();
}
