#include "tests/qt/qt_program.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>

#include "dialogs/StartUp.h"
#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "tests/qt/qt_testing.h"
#include "stats/frmLogStats.h"

namespace vx::qttest {

namespace qtt = platform::qt_testing;

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        qtt::ProcessEvents();
        QTest::qWait(5);
    }
    return true;
}

namespace {

// Polls for the thing to answer from inside the nested loop that shows it;
// gives up (and closes it) after a few seconds so that a test cannot hang.
template <class Find, class Act>
std::shared_ptr<bool> AnswerWhenOpen(Find find, Act act) {
    auto seen = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        if (QWidget* open = find()) {
            *seen = true;
            poll->stop();
            poll->deleteLater();
            act(*open);
        } else if (clock->elapsed() > 5000) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
    return seen;
}

}  // namespace

std::shared_ptr<bool> AnswerNextMenu(std::function<QString(QMenu&)> answer) {
    return AnswerWhenOpen([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                          [answer](QWidget& w) {
                              auto& menu = static_cast<QMenu&>(w);
                              const QString caption = answer(menu);
                              for (QAction* action : menu.actions()) {
                                  if (!caption.isEmpty() && action->text() == caption && action->isEnabled()) {
                                      menu.setActiveAction(action);
                                      QTest::keyClick(&menu, Qt::Key_Return);
                                      return;
                                  }
                              }
                              menu.close();
                          });
}

std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget&)> answer) {
    return AnswerWhenOpen([] { return QApplication::activeModalWidget(); },
                          [answer](QWidget& w) {
                              answer(w);
                              QTest::keyClick(&w, Qt::Key_Return);
                          });
}

QStringList Captions(const QMenu& menu) {
    QStringList captions;
    for (QAction* action : menu.actions()) {
        if (!action->isVisible()) continue;
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return captions;
}

void QtProgramTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vxstat-qt-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    qtt::SetAppPath(dir_);
    qtt::ResetQuit();
    qtt::ResetSignalState();
    // An XEmbed tray that is there, unless a test says otherwise.
    qtt::SetTrayHost([] { return true; }, 0, false);
    Form::ResetLoadedCount();
}

void QtProgramTest::TearDown() {
    Default<frmLogStats>::Unload();
    Default<frmMain>::Unload();
    Default<frmLogIn>::Unload();
    qtt::ProcessEvents();
    qtt::ProcessEvents();
    qtt::SetTrayHost(nullptr, 0, false);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

QWidget* QtProgramTest::widgetOf(platform::WindowHandle hWnd) const { return qtt::WindowWidget(hWnd); }

void QtProgramTest::WriteTotals(const std::string& incoming, const std::string& outgoing) const {
    WriteFile(file("userstats.txt"), "[TotalStats]\nEnabled=True\nDate=1/2/2026 3:04:05 AM\nIncoming=" + incoming +
                                         "\nOutGoing=" + outgoing + "\n");
}

frmMain& QtProgramTest::StartMonitorByEnter(const std::string& ip) {
    StartProgram();
    frmLogIn& dialog = Default<frmLogIn>::Get();
    auto* ipBox = qobject_cast<QLineEdit*>(qtt::ControlWidget(dialog.txtIP));
    auto* speed = qobject_cast<QComboBox*>(qtt::ControlWidget(dialog.selSpeed));
    EXPECT_TRUE(ipBox && speed);
    ipBox->selectAll();
    QTest::keyClicks(ipBox, QString::fromStdString(ip));
    EXPECT_EQ(dialog.txtIP.text(), ip);
    QTest::keyRelease(speed->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(Default<frmMain>::Exists());
    frmMain& monitor = *Default<frmMain>::Peek();
    // The tests drive the monitor themselves; no polling in between.
    monitor.Timer.setEnabled(false);
    return monitor;
}

}  // namespace vx::qttest
