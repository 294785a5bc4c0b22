// The monitor window on real widgets: always on top, minimising to the tray,
// the substitute system menu, closing, and being told to end.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWindow>
#include <QtTest/QTest>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "monitor/frmMain.h"
#include "tests/qt/qt_testing.h"
#include "stats/frmLogStats.h"
#include "tests/qt/qt_program.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;

bool OnTop(QWidget* w) { return w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); }

void RightClick(QWidget* w) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w, &event);
}

TEST_F(QtProgramTest, SpaceTogglesAlwaysOnTopOnTheSameNativeWindow) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.31");
    QWidget* w = widgetOf(monitor.hWnd());
    const WId native = w->winId();
    const QPoint pos = w->pos();

    QTest::keyClick(w, Qt::Key_Space);
    EXPECT_TRUE(monitor.m_bOnTop);
    EXPECT_TRUE(OnTop(w));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w->winId(), native);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->pos(), pos);

    QTest::keyClick(w, Qt::Key_Space);
    EXPECT_FALSE(monitor.m_bOnTop);
    EXPECT_FALSE(OnTop(w));
    EXPECT_EQ(w->winId(), native);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->pos(), pos);

    // Other keys leave it alone.
    QTest::keyClick(w, Qt::Key_A);
    EXPECT_FALSE(monitor.m_bOnTop);
    EXPECT_FALSE(OnTop(w));
}

TEST_F(QtProgramTest, OnTopSurvivesHidingToTheTrayAndBack) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.32");
    QWidget* w = widgetOf(monitor.hWnd());
    QTest::keyClick(w, Qt::Key_Space);
    w->setWindowState(Qt::WindowMinimized);
    ASSERT_FALSE(w->isVisible());
    emit qtt::TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    ASSERT_TRUE(w->isVisible());
    EXPECT_TRUE(OnTop(w));
}

TEST_F(QtProgramTest, MinimisingHidesToTheTrayAndADoubleClickBringsItBack) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.33");
    QWidget* w = widgetOf(monitor.hWnd());
    ASSERT_NE(qtt::TrayIcon(), nullptr);

    // As the window manager reports a click on the minimise box.
    w->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(monitor.window().visible());
    EXPECT_EQ(monitor.window().windowState(), platform::WindowState::Normal);
    qtt::ProcessEvents();
    EXPECT_FALSE(w->isVisible()) << "setting the state back to normal must not show it";

    emit qtt::TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->windowState() & Qt::WindowMinimized) << "back at normal size";
    EXPECT_TRUE(monitor.window().visible());

    // A single left click does nothing to the window.
    w->hide();
    monitor.window().hide();
    emit qtt::TrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(QtProgramTest, SystemMenuOffersTheMonitorsCommandsAndStatisticsSavesThenShows) {
    WriteTotals("1048576", "3145728");
    frmMain& monitor = StartMonitorByEnter("127.0.0.34");
    QWidget* w = widgetOf(monitor.hWnd());
    WriteTotals("0", "0");  // what the window shows must come from the monitor

    QStringList captions;
    bool restoreEnabled = true, minimiseEnabled = false;
    auto seen = AnswerNextMenu([&](QMenu& menu) {
        captions = Captions(menu);
        for (QAction* a : menu.actions()) {
            if (a->text() == "&Restore") restoreEnabled = a->isEnabled();
            if (a->text() == "Mi&nimize") minimiseEnabled = a->isEnabled();
        }
        return QStringLiteral("Statistics");
    });
    RightClick(w);
    ASSERT_TRUE(*seen);
    EXPECT_EQ(captions, QStringList({"&Restore", "Mi&nimize", "-", "&Close", "-", "Always on top", "Statistics",
                                     "History", "Start at login"}));
    EXPECT_FALSE(restoreEnabled) << "the window is not minimised";
    EXPECT_TRUE(minimiseEnabled);

    const std::string stats = ReadFile(file("userstats.txt"));
    EXPECT_NE(stats.find("Incoming= 1048576"), std::string::npos) << stats;
    EXPECT_NE(stats.find("OutGoing= 3145728"), std::string::npos) << stats;
    ASSERT_TRUE(Default<frmLogStats>::Exists());
    QWidget* statsWindow = widgetOf(Default<frmLogStats>::Get().hWnd());
    EXPECT_TRUE(statsWindow->isVisible());
    EXPECT_EQ(Default<frmLogStats>::Get().lblIncoming.caption(), "1.00MB");
    EXPECT_TRUE(w->isVisible()) << "the monitor stays";
}

TEST_F(QtProgramTest, SystemMenuAlwaysOnTopAndMinimizeAreCarriedOut) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.35");
    QWidget* w = widgetOf(monitor.hWnd());

    auto seen = AnswerNextMenu([](QMenu&) { return QStringLiteral("Always on top"); });
    RightClick(w);
    ASSERT_TRUE(*seen);
    EXPECT_TRUE(monitor.m_bOnTop);
    EXPECT_TRUE(OnTop(w));
    // The space bar and the menu share one state.
    QTest::keyClick(w, Qt::Key_Space);
    EXPECT_FALSE(monitor.m_bOnTop);
    EXPECT_FALSE(OnTop(w));

    seen = AnswerNextMenu([](QMenu&) { return QStringLiteral("Mi&nimize"); });
    RightClick(w);
    ASSERT_TRUE(*seen);
    EXPECT_FALSE(w->isVisible()) << "minimised to the tray";
    EXPECT_FALSE(monitor.window().visible());
    EXPECT_EQ(monitor.window().windowState(), platform::WindowState::Normal);
    EXPECT_TRUE(Default<frmMain>::Exists());
}

TEST_F(QtProgramTest, AltSpaceOpensTheSystemMenuAndDismissingChoosesNothing) {
    frmMain& monitor = StartMonitorByEnter("127.0.0.36");
    QWidget* w = widgetOf(monitor.hWnd());
    QStringList captions;
    auto seen = AnswerNextMenu([&](QMenu& menu) {
        captions = Captions(menu);
        return QString();
    });
    QTest::keyClick(w, Qt::Key_Space, Qt::AltModifier);
    ASSERT_TRUE(*seen);
    EXPECT_TRUE(captions.contains("Statistics"));
    EXPECT_FALSE(monitor.m_bOnTop) << "Alt+Space is not the space bar";
    EXPECT_FALSE(Default<frmLogStats>::Exists());
    EXPECT_TRUE(w->isVisible());
}

TEST_F(QtProgramTest, SystemMenuCloseAndTheCloseBoxUnloadAndSave) {
    WriteTotals("4096", "512");
    frmMain& monitor = StartMonitorByEnter("127.0.0.37");
    auto seen = AnswerNextMenu([](QMenu&) { return QStringLiteral("&Close"); });
    RightClick(widgetOf(monitor.hWnd()));
    ASSERT_TRUE(*seen);
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_TRUE(qtt::QuitRequested());
    EXPECT_EQ(qtt::TrayIconCount(), 0u);
    const std::string stats = ReadFile(file("userstats.txt"));
    EXPECT_NE(stats.find("Incoming= 4096"), std::string::npos) << stats;
    EXPECT_NE(stats.find("OutGoing= 512"), std::string::npos) << stats;
}

TEST_F(QtProgramTest, TheCloseBoxClosesTheMonitorTheNormalWay) {
    WriteTotals("77", "0");
    frmMain& monitor = StartMonitorByEnter("127.0.0.38");
    QWidget* w = widgetOf(monitor.hWnd());
    EXPECT_FALSE(w->close()) << "the form, not the toolkit, ends the window";
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_TRUE(qtt::QuitRequested());
    EXPECT_NE(ReadFile(file("userstats.txt")).find("Incoming= 77"), std::string::npos);
    qtt::ProcessEvents();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(QtProgramTest, SigtermClosesEveryWindowTheNormalWay) {
    WriteTotals("123456789", "42");
    frmMain& monitor = StartMonitorByEnter("127.0.0.39");
    Default<frmLogStats>::Get().Show();
    monitor.window().hide();  // in the tray: closed all the same
    std::raise(SIGTERM);
    ASSERT_TRUE(WaitFor([] { return qtt::QuitRequested(); }));
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_FALSE(Default<frmLogStats>::Exists());
    EXPECT_EQ(qtt::TrayIconCount(), 0u);
    const std::string stats = ReadFile(file("userstats.txt"));
    EXPECT_NE(stats.find("Incoming= 123456789"), std::string::npos) << stats;
    EXPECT_NE(stats.find("OutGoing= 42"), std::string::npos) << stats;
}

TEST_F(QtProgramTest, SigintWhileAMenuIsOpenClosesItThenTheWindows) {
    struct sigaction current {};
    ::sigaction(SIGINT, nullptr, &current);
    if (current.sa_handler == SIG_IGN) GTEST_SKIP() << "started with SIGINT ignored, so the program keeps ignoring it";
    WriteTotals("9", "0");
    frmMain& monitor = StartMonitorByEnter("127.0.0.40");
    bool menuClosedBySignal = false;
    auto seen = AnswerNextMenu([&](QMenu& menu) {
        std::raise(SIGINT);
        // The signal arrives through the event loop; the menu must go.
        menuClosedBySignal = WaitFor([&] { return !menu.isVisible(); });
        return QString();
    });
    RightClick(widgetOf(monitor.hWnd()));
    ASSERT_TRUE(*seen);
    EXPECT_TRUE(menuClosedBySignal);
    ASSERT_TRUE(WaitFor([] { return qtt::QuitRequested(); }));
    EXPECT_NE(ReadFile(file("userstats.txt")).find("Incoming= 9"), std::string::npos);
}

TEST(QtSignals, ASecondSignalEndsTheProgramAtOnce) {
    qtt::ResetSignalState();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        qtt::DetachSignalPipe();
        std::raise(SIGTERM);  // asks for the normal close, which never comes here
        std::raise(SIGTERM);  // ends at once
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
}

}  // namespace
}  // namespace vx::qttest
