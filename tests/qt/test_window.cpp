// Window and timer peers on their own, without the program's forms.
#include <QWidget>
#include <QtTest/QTest>

#include "platform/forms.h"
#include "platform/qt/qt_testing.h"
#include "tests/qt/qt_program.h"
#include "tray/LevelPictures.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;
using namespace platform;

TEST(QtWindow, TimerTicksWhileEnabledAndNeverAfterItsWindowIsDestroyed) {
    Window window("timed", "Timed", 1500, 300, BorderStyle::FixedSingle);
    Timer& timer = window.addTimer("Timer", 10);
    int ticks = 0;
    timer.onTimer = [&ticks] { ++ticks; };
    ASSERT_TRUE(WaitFor([&] { return ticks >= 3; }));

    timer.setEnabled(false);
    int seen = ticks;
    QTest::qWait(60);
    EXPECT_EQ(ticks, seen) << "a disabled timer ticked";
    timer.setEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return ticks >= seen + 2; }));

    window.destroy();
    seen = ticks;
    QTest::qWait(60);
    EXPECT_EQ(ticks, seen) << "a timer ticked into a destroyed window";
}

TEST(QtWindow, HandlesAreUniqueAndAHiddenWindowIsNeverShown) {
    Window shown("a", "Shown", 1500, 300, BorderStyle::FixedSingle);
    Window hidden("b", "Hidden", 15, 15, BorderStyle::Hidden);
    EXPECT_NE(shown.hWnd(), 0);
    EXPECT_NE(hidden.hWnd(), 0);
    EXPECT_NE(shown.hWnd(), hidden.hWnd());
    EXPECT_EQ(Window::fromHandle(hidden.hWnd()), &hidden);

    hidden.show();
    EXPECT_FALSE(qtt::WindowWidget(hidden.hWnd())->isVisible());
    shown.show();
    QWidget* w = qtt::WindowWidget(shown.hWnd());
    EXPECT_TRUE(w->isVisible());

    // Caption and icon follow the model.
    shown.setCaption("Changed");
    EXPECT_EQ(w->windowTitle(), "Changed");
    shown.setIcon(WindowIconPicture());
    EXPECT_FALSE(w->windowIcon().isNull());

    // Without a close handler the close box changes nothing.
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(shown.visible());
}

TEST(QtWindow, ModelStateChangesOnAHiddenWindowDoNotShowIt) {
    Window window("w", "W", 1500, 300, BorderStyle::FixedSingle);
    window.show();
    QWidget* w = qtt::WindowWidget(window.hWnd());
    window.setWindowState(WindowState::Minimized);
    EXPECT_TRUE(w->windowState() & Qt::WindowMinimized);
    window.hide();
    window.setWindowState(WindowState::Normal);
    qtt::ProcessEvents();
    EXPECT_FALSE(w->isVisible());
    window.show();
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->windowState() & Qt::WindowMinimized) << "shown again at normal size";
}

}  // namespace
}  // namespace vx::qttest
