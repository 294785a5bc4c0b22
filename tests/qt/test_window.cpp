// Window and timer peers on their own, without the program's forms.
#include <QLabel>
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

// The share of a bar's inner width drawn in the highlight colour.
double FilledShare(QWidget* bar) {
    const QImage image = bar->grab().toImage();
    const QColor highlight = bar->palette().color(QPalette::Highlight);
    const int y = image.height() / 2;
    int filled = 0;
    for (int x = 1; x < image.width() - 1; ++x)
        if (image.pixelColor(x, y) == highlight) ++filled;
    return static_cast<double>(filled) / (image.width() - 2);
}

TEST(QtWindow, ProgressBarsShowTheirValueWithinTheirRange) {
    Window window("bars", "Bars", 3300, 300, BorderStyle::FixedSingle);
    ProgressBar& bar = window.addProgressBar("bar", Twips{0, 0, 3225, 255}, 0, 32768);
    window.show();
    QWidget* w = qtt::ControlWidget(bar);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(FilledShare(w), 0.0);
    bar.setValue(16384);
    EXPECT_NEAR(FilledShare(w), 0.5, 0.01);
    bar.setValue(32768);
    EXPECT_NEAR(FilledShare(w), 1.0, 0.01);
    // A new scale redraws the same value against it.
    bar.setValue(16384);
    bar.setMax(65536);
    EXPECT_NEAR(FilledShare(w), 0.25, 0.01);
    bar.setValue(0);
    EXPECT_EQ(FilledShare(w), 0.0);
}

TEST(QtWindow, LabelsShowPlainTextAndWrapOnlyAtBlanks) {
    Window window("labels", "Labels", 3000, 600, BorderStyle::FixedSingle);
    Label& scale = window.addLabel("scale", Twips{0, 0, 525, 195}, "256k/s");
    Label& markup = window.addLabel("markup", Twips{0, 200, 3000, 195}, "<b>bold</b>");
    auto* scaleLabel = qobject_cast<QLabel*>(qtt::ControlWidget(scale));
    auto* markupLabel = qobject_cast<QLabel*>(qtt::ControlWidget(markup));
    ASSERT_TRUE(scaleLabel && markupLabel);
    EXPECT_FALSE(scaleLabel->wordWrap());
    EXPECT_EQ(markupLabel->textFormat(), Qt::PlainText);
    scale.setCaption("two words");
    EXPECT_TRUE(scaleLabel->wordWrap());
    EXPECT_EQ(scaleLabel->text(), "two words");
}

}  // namespace
}  // namespace vx::qttest
