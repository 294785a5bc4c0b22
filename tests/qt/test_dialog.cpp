// The router details dialog on real widgets: layout, typing, and the Enter key.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest/QTest>

#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "tests/qt/qt_testing.h"
#include "stats/frmLogStats.h"
#include "tests/qt/qt_program.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;

// Every control of a window sits where its twips put it, 15 twips a pixel,
// and the window's client area has the size its twips give.
void ExpectLaidOutFromTwips(const platform::Window& window) {
    QWidget* top = qtt::WindowWidget(window.hWnd());
    ASSERT_NE(top, nullptr) << window.name();
    EXPECT_EQ(top->size(), QSize(window.clientWidth() / 15, window.clientHeight() / 15)) << window.name();
    EXPECT_EQ(top->minimumSize(), top->maximumSize()) << window.name() << " must not be resizable";
    for (const auto& control : window.controls()) {
        if (control->kind() == platform::ControlKind::Timer || control->kind() == platform::ControlKind::Line) continue;
        QWidget* w = qtt::ControlWidget(*control);
        ASSERT_NE(w, nullptr) << control->name();
        EXPECT_EQ(w->parentWidget(), top) << control->name();
        const platform::Twips& t = control->rect();
        EXPECT_EQ(w->geometry(), QRect(t.left / 15, t.top / 15, t.width / 15, t.height / 15)) << control->name();
    }
}

TEST_F(QtProgramTest, DialogControlsSitWhereTheirTwipsPutThem) {
    StartProgram();
    frmLogIn& dialog = Default<frmLogIn>::Get();
    ExpectLaidOutFromTwips(dialog.window());

    QWidget* top = widgetOf(dialog.hWnd());
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(top->windowTitle(), "Router Details");
    EXPECT_EQ(top->size(), QSize(218, 73));
    // Centred on the screen when it opens.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect g = top->geometry();
    EXPECT_LE(std::abs((g.left() - area.left()) - (area.right() - g.right())), 6) << "centred, give or take the frame";
    EXPECT_LE(std::abs((g.top() - area.top()) - (area.bottom() - g.bottom())), 6) << "centred, give or take the frame";
    // No minimise or maximise box on the dialog.
    EXPECT_FALSE(top->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(top->windowFlags() & Qt::WindowMaximizeButtonHint);

    // The 9106 box lies below the client area: out of sight and out of reach.
    QWidget* check = qtt::ControlWidget(dialog.chk9106);
    EXPECT_FALSE(top->rect().intersects(check->geometry()));

    auto* password = qobject_cast<QLineEdit*>(qtt::ControlWidget(dialog.txtPassword));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    auto* speed = qobject_cast<QComboBox*>(qtt::ControlWidget(dialog.selSpeed));
    ASSERT_NE(speed, nullptr);
    EXPECT_TRUE(speed->isEditable());
    EXPECT_EQ(speed->currentText(), "512");
    ASSERT_EQ(speed->count(), 2);
    EXPECT_EQ(speed->itemText(0), "2meg");
    EXPECT_EQ(speed->itemText(1), "512");
    EXPECT_EQ(qobject_cast<QLineEdit*>(qtt::ControlWidget(dialog.txtIP))->text(), "192.168.0.1");
}

TEST_F(QtProgramTest, MonitorAndStatisticsWindowsAreLaidOutFromTwips) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.21");
    ExpectLaidOutFromTwips(monitor.window());
    EXPECT_EQ(widgetOf(monitor.hWnd())->size(), QSize(356, 37));
    const Qt::WindowFlags flags = widgetOf(monitor.hWnd())->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    // The storage controls below the client area cannot be seen.
    QWidget* top = widgetOf(monitor.hWnd());
    EXPECT_FALSE(top->rect().intersects(qtt::ControlWidget(*monitor.Icons[0])->geometry()));
    EXPECT_TRUE(qtt::ControlWidget(monitor.lblBytesIn)->font().bold());

    frmLogStats& stats = Default<frmLogStats>::Get();
    stats.Show();
    ExpectLaidOutFromTwips(stats.window());
    QWidget* statsTop = widgetOf(stats.hWnd());
    EXPECT_EQ(statsTop->windowType(), Qt::Tool);
    EXPECT_EQ(statsTop->windowTitle(), "Logged Statistics");
}

TEST_F(QtProgramTest, ReleasingEnterInTheSpeedBoxStartsTheMonitor) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.22");
    QWidget* top = widgetOf(monitor.hWnd());
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(top->windowTitle(), "Vexlo Router Stats - Connecting");
    // The dialog went away, and with it its window.
    EXPECT_FALSE(Default<frmLogIn>::Exists());
    // The statistics file was set up on this first run.
    EXPECT_NE(ReadFile(file("userstats.txt")).find("Incoming= 0"), std::string::npos);
}

TEST_F(QtProgramTest, EnterNeverClicksTheButtonOnlyItsReleaseStarts) {
    StartProgram();
    frmLogIn& dialog = Default<frmLogIn>::Get();
    qobject_cast<QLineEdit*>(qtt::ControlWidget(dialog.txtIP))->setText("127.0.0.23");
    auto* button = qobject_cast<QPushButton*>(qtt::ControlWidget(dialog.cmdGo));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());

    QTest::keyPress(button, Qt::Key_Return);
    EXPECT_FALSE(Default<frmMain>::Exists()) << "the press must not click the button";
    QTest::keyRelease(button, Qt::Key_Enter);  // the keypad's Enter counts as well
    ASSERT_TRUE(Default<frmMain>::Exists());
    Default<frmMain>::Peek()->Timer.setEnabled(false);
    EXPECT_FALSE(Default<frmLogIn>::Exists());
}

TEST_F(QtProgramTest, OtherKeysReleasedInTheDialogDoNotStart) {
    StartProgram();
    frmLogIn& dialog = Default<frmLogIn>::Get();
    auto* speed = qobject_cast<QComboBox*>(qtt::ControlWidget(dialog.selSpeed));
    QTest::keyRelease(speed->lineEdit(), Qt::Key_Space);
    QTest::keyRelease(speed->lineEdit(), Qt::Key_Escape);
    QTest::keyRelease(qtt::WindowWidget(dialog.hWnd()), Qt::Key_M);
    EXPECT_FALSE(Default<frmMain>::Exists());
}

TEST_F(QtProgramTest, TypingReachesTheModelAndTheModelReachesTheWidgets) {
    StartProgram();
    frmLogIn& dialog = Default<frmLogIn>::Get();
    auto* ip = qobject_cast<QLineEdit*>(qtt::ControlWidget(dialog.txtIP));
    auto* password = qobject_cast<QLineEdit*>(qtt::ControlWidget(dialog.txtPassword));
    auto* speed = qobject_cast<QComboBox*>(qtt::ControlWidget(dialog.selSpeed));

    // The preset shortcut runs off the user's typing, and its changes show.
    ip->selectAll();
    QTest::keyClicks(ip, "qov");
    EXPECT_EQ(dialog.txtIP.text(), "10.0.0.1");
    EXPECT_EQ(ip->text(), "10.0.0.1");
    EXPECT_EQ(dialog.txtPassword.text(), "qzmnt");
    EXPECT_EQ(password->text(), "qzmnt");

    speed->lineEdit()->selectAll();
    QTest::keyClicks(speed->lineEdit(), "2");
    EXPECT_EQ(dialog.selSpeed.text(), "2") << "no completion from the list";
    // Picking from the list is a change of text too.
    speed->setCurrentIndex(0);
    EXPECT_EQ(dialog.selSpeed.text(), "2meg");
    // Enter pressed in the box never adds to the list. (Only the press: its
    // release would start monitoring the preset's address.)
    QTest::keyPress(speed->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(speed->count(), 2);

    dialog.selSpeed.setText("512");
    EXPECT_EQ(speed->currentText(), "512");
    EXPECT_EQ(speed->count(), 2);
}

}  // namespace
}  // namespace vx::qttest
