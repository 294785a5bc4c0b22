// Window and timer peers on their own, without the program's forms.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <QWindow>
#include <QtTest/QTest>

#include <string>

#include "platform/forms.h"
#include "tests/qt/qt_testing.h"
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

// Hidden in the tray, a window's figures, bars and caption wait; shown
// again, it shows what is current before its first paint. A window not yet
// shown takes every change at once.
TEST(QtWindow, AWindowHiddenAfterBeingShownCatchesUpWhenShownAgain) {
    Window window("w", "Caption", 3300, 600, BorderStyle::FixedSingle);
    Label& figure = window.addLabel("figure", Twips{0, 300, 975, 255}, "");
    ProgressBar& bar = window.addProgressBar("bar", Twips{0, 0, 3225, 255}, 0, 32768);
    auto* label = qobject_cast<QLabel*>(qtt::ControlWidget(figure));
    QWidget* barWidget = qtt::ControlWidget(bar);
    QWidget* w = qtt::WindowWidget(window.hWnd());
    ASSERT_TRUE(label && barWidget && w);
    figure.setCaption("1k/s");
    EXPECT_EQ(label->text(), "1k/s") << "a window not shown yet";

    window.show();
    window.hide();
    for (int tick = 2; tick <= 5; ++tick) {
        figure.setCaption(std::to_string(tick) + "k/s");
        bar.setValue(static_cast<float>(tick) * 4096);
        window.setCaption("Caption - tick " + std::to_string(tick));
    }
    EXPECT_EQ(label->text(), "1k/s") << "a hidden window's figure was set";
    EXPECT_EQ(w->windowTitle(), "Caption") << "a hidden window's caption was set";

    window.show();
    EXPECT_EQ(label->text(), "5k/s");
    EXPECT_EQ(w->windowTitle(), "Caption - tick 5");
    EXPECT_NEAR(FilledShare(barWidget), 0.625, 0.01);

    // Shown, every change is drawn at once again.
    figure.setCaption("6k/s");
    bar.setValue(0);
    EXPECT_EQ(label->text(), "6k/s");
    EXPECT_EQ(FilledShare(barWidget), 0.0);
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

// The substitute system menu of a plain window, opened by the right button.
class QtSystemMenu : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<Window>("w", "W", 1500, 300, BorderStyle::FixedSingle);
        window->addSystemSeparator();
        window->addSystemCommand("One", [this] { chosen.push_back("One"); });
        window->addSystemCommand("Two", [this] { chosen.push_back("Two"); });
        window->onCloseRequest = [this] { chosen.push_back("close"); };
        window->show();
    }
    void TearDown() override {
        window.reset();
        qtt::ProcessEvents();
    }
    // Opens the menu, looks at it, chooses `caption` ("" for none).
    void Open(const QString& caption) {
        seen = QStringList();
        enabled = QStringList();
        auto opened = AnswerNextMenu([&](QMenu& menu) {
            seen = Captions(menu);
            for (QAction* a : menu.actions())
                if (a->isEnabled() && !a->isSeparator()) enabled << a->text();
            return caption;
        });
        QWidget* w = qtt::WindowWidget(window->hWnd());
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w, &event);
        ASSERT_TRUE(*opened);
    }

    std::unique_ptr<Window> window;
    std::vector<std::string> chosen;
    QStringList seen, enabled;
};

TEST_F(QtSystemMenu, ListsTheStandardCommandsThenTheWindowsOwnAndRunsTheOneChosen) {
    Open("Two");
    EXPECT_EQ(seen, QStringList({"&Restore", "Mi&nimize", "-", "&Close", "-", "One", "Two"}));
    EXPECT_EQ(enabled, QStringList({"Mi&nimize", "&Close", "One", "Two"})) << "Restore only when minimised";
    EXPECT_EQ(chosen, std::vector<std::string>({"Two"}));

    // A command added later is offered from then on.
    window->addSystemCommand("Three", [this] { chosen.push_back("Three"); });
    Open("Three");
    EXPECT_EQ(seen.back(), "Three");
    EXPECT_EQ(chosen, std::vector<std::string>({"Two", "Three"}));

    Open("&Close");
    EXPECT_EQ(chosen.back(), "close") << "Close asks the owner, as the close box does";
    Open("");
    EXPECT_EQ(chosen.size(), 3u) << "dismissed: nothing";
}

TEST_F(QtSystemMenu, MinimizeAndRestoreChangeTheWindowsState) {
    int resized = 0;
    window->onResize = [&resized] { ++resized; };
    Open("Mi&nimize");
    EXPECT_EQ(window->windowState(), WindowState::Minimized);
    EXPECT_TRUE(qtt::WindowWidget(window->hWnd())->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(resized, 1);

    Open("&Restore");
    EXPECT_TRUE(enabled.contains("&Restore"));
    EXPECT_EQ(window->windowState(), WindowState::Normal);
    EXPECT_FALSE(qtt::WindowWidget(window->hWnd())->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(resized, 2);
}

TEST_F(QtSystemMenu, AWindowWithoutAMinimiseBoxCannotBeMinimisedFromIt) {
    window = std::make_unique<Window>("d", "D", 1500, 300, BorderStyle::FixedDialog);
    window->show();
    Open("Mi&nimize");
    EXPECT_EQ(seen, QStringList({"&Restore", "Mi&nimize", "-", "&Close"}));
    EXPECT_EQ(enabled, QStringList({"&Close"}));
    EXPECT_EQ(window->windowState(), WindowState::Normal);
}

TEST_F(QtSystemMenu, AWindowThatWentWhileItsMenuWasOpenHearsNothing) {
    bool ran = false;
    window->addSystemCommand("Late", [&ran] { ran = true; });
    auto opened = AnswerNextMenu([this](QMenu&) {
        window.reset();
        return QStringLiteral("Late");
    });
    QWidget* w = qtt::WindowWidget(window->hWnd());
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w, &event);
    ASSERT_TRUE(*opened);
    EXPECT_FALSE(ran);
}

TEST(QtWindow, AlwaysOnTopFollowsTheModelOnTheSameNativeWindow) {
    Window window("top", "Top", 1500, 300, BorderStyle::FixedSingle);
    window.show();
    QWidget* w = qtt::WindowWidget(window.hWnd());
    const WId native = w->winId();
    window.setAlwaysOnTop(true);
    EXPECT_TRUE(w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->winId(), native) << "made anew";
    window.setAlwaysOnTop(false);
    EXPECT_FALSE(w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w->winId(), native);

    // Set before the window is first shown, it holds once it is.
    Window early("early", "Early", 1500, 300, BorderStyle::FixedSingle);
    early.setAlwaysOnTop(true);
    early.show();
    EXPECT_TRUE(qtt::WindowWidget(early.hWnd())->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

}  // namespace
}  // namespace vx::qttest
