// High-density screens: the same tests run at a device pixel ratio of 1 and,
// in their own ctest runs, of 2 (QT_SCALE_FACTOR=2, or a 192-dpi screen with
// and without Qt's own scaling). Pictures must be drawn at the size shown, not
// enlarged, and every caption must fit its control.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSystemTrayIcon>

#include <cmath>
#include <cstdlib>
#include <set>

#include "dialogs/StartUp.h"
#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "platform/forms.h"
#include "platform/pictures.h"
#include "platform/tray.h"
#include "stats/frmLogStats.h"
#include "tests/qt/qt_program.h"
#include "tests/qt/qt_testing.h"
#include "tray/LevelPictures.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;

double EnvNumber(const char* name, double otherwise) {
    const char* text = std::getenv(name);
    return text && *text ? std::atof(text) : otherwise;
}

// The device pixels per 96-dpi pixel this run was started for: ctest sets
// QT_SCALE_FACTOR or QT_FONT_DPI (a screen of that density).
double ExpectedScale() { return EnvNumber("QT_SCALE_FACTOR", 1.0) * EnvNumber("QT_FONT_DPI", 96.0) / 96.0; }

// Device pixels per 96-dpi pixel as the application sees it: Qt's own scaling
// times the dots per inch fonts are drawn at.
double ActualScale() {
    return qApp->devicePixelRatio() * std::round(QGuiApplication::primaryScreen()->logicalDotsPerInchY()) / 96.0;
}

// Whether an image is, pixel for pixel, the level picture drawn at its size.
::testing::AssertionResult IsLevelPictureDrawnAt(const QImage& image, int rows) {
    if (image.isNull() || image.width() != image.height())
        return ::testing::AssertionFailure() << "not a square picture: " << image.width() << "x" << image.height();
    const int n = image.width();
    const std::vector<std::uint32_t> expected = LevelPixelsAt(n, rows);
    std::set<QRgb> colours;
    const std::set<QRgb> drawn(expected.begin(), expected.end());
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const QRgb got = image.pixel(x, y) & 0xFFFFFFU;
            colours.insert(got);
            const std::uint32_t want = expected[static_cast<std::size_t>(y * n + x)];
            if (got != want)
                return ::testing::AssertionFailure() << "at " << n << " px, pixel (" << x << "," << y << ") is "
                                                     << std::hex << got << ", drawn it is " << want;
        }
    }
    // An enlarged smaller picture would blend white and green at the edge.
    if (colours != drawn) return ::testing::AssertionFailure() << colours.size() << " colours at " << n << " px";
    return ::testing::AssertionSuccess();
}

// An icon offers each size sharp at the application's pixel ratio.
void ExpectIconDrawnAtEverySize(const QIcon& icon, int rows, const char* what) {
    ASSERT_FALSE(icon.isNull()) << what;
    const double ratio = qApp->devicePixelRatio();
    for (int size : {16, 22, 24, 32, 48}) {
        const QPixmap pm = icon.pixmap(QSize(size, size));
        const int device = static_cast<int>(std::lround(size * ratio));
        EXPECT_EQ(pm.size(), QSize(device, device)) << what << " at " << size;
        EXPECT_DOUBLE_EQ(pm.devicePixelRatio(), ratio) << what << " at " << size;
        EXPECT_TRUE(IsLevelPictureDrawnAt(pm.toImage(), rows)) << what << " at " << size;
    }
    // Hosts that take the icon over D-Bus, and window lists, take the sizes
    // it says it has: more than one, each drawn at that size.
    const QList<QSize> sizes = icon.availableSizes();
    for (const QSize& size : {QSize(16, 16), QSize(22, 22), QSize(32, 32), QSize(64, 64)})
        EXPECT_TRUE(sizes.contains(size)) << what << " offers no " << size.width() << " px picture";
    for (const QSize& size : sizes)
        EXPECT_TRUE(IsLevelPictureDrawnAt(icon.pixmap(size, 1.0).toImage(), rows)) << what << " at " << size.width();
}

// A caption's extent inside its control: one line unless the label wraps.
::testing::AssertionResult TextFits(QWidget& w) {
    const QFontMetricsF metrics(w.font(), &w);
    QString text;
    QSizeF room;
    if (auto* label = qobject_cast<QLabel*>(&w)) {
        text = label->text();
        room = label->contentsRect().size();
        if (label->wordWrap()) {
            const QRectF needed = metrics.boundingRect(QRectF(QPointF(0, 0), room), Qt::TextWordWrap, text);
            if (needed.width() > room.width() || needed.height() > room.height())
                return ::testing::AssertionFailure()
                       << "\"" << text.toStdString() << "\" needs " << needed.width() << "x" << needed.height()
                       << ", has " << room.width() << "x" << room.height();
            return ::testing::AssertionSuccess();
        }
    } else if (auto* check = qobject_cast<QCheckBox*>(&w)) {
        QStyleOptionButton option;
        option.initFrom(check);
        text = check->text();
        room = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check).size();
    } else if (auto* button = qobject_cast<QPushButton*>(&w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        text = button->text();
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).size();
    } else {
        return ::testing::AssertionSuccess();
    }
    const QSizeF needed(metrics.horizontalAdvance(text), metrics.height());
    if (needed.width() > room.width() || needed.height() > room.height())
        return ::testing::AssertionFailure() << "\"" << text.toStdString() << "\" needs " << needed.width() << "x"
                                             << needed.height() << ", has " << room.width() << "x" << room.height();
    return ::testing::AssertionSuccess();
}

// Every caption of a window in sight fits its control, and the part of it
// that holds text is not under a control laid over it (the dialog's captions
// run under the text boxes beside them).
void ExpectCaptionsFit(const platform::Window& window) {
    QWidget* top = qtt::WindowWidget(window.hWnd());
    ASSERT_NE(top, nullptr) << window.name();
    int checked = 0;
    for (const auto& control : window.controls()) {
        QWidget* w = qtt::ControlWidget(*control);
        if (!w || !w->isVisibleTo(top) || !top->rect().intersects(w->geometry())) continue;
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w)) continue;
        if (auto* label = qobject_cast<QLabel*>(w); label && label->text().isEmpty()) continue;
        ++checked;
        EXPECT_TRUE(TextFits(*w)) << window.name() << "." << control->name();
        EXPECT_TRUE(top->rect().contains(w->geometry())) << window.name() << "." << control->name() << " is cut off";

        auto* label = qobject_cast<QLabel*>(w);
        if (!label || label->wordWrap()) continue;
        const QFontMetricsF metrics(label->font(), label);
        const QRectF text(QPointF(label->geometry().topLeft() + label->contentsRect().topLeft()),
                          QSizeF(metrics.horizontalAdvance(label->text()), metrics.height()));
        // Only controls made after it are drawn over it.
        bool after = false;
        for (QObject* child : top->children()) {
            if (child == label) {
                after = true;
                continue;
            }
            auto* sibling = qobject_cast<QWidget*>(child);
            if (!after || !sibling || !sibling->isVisibleTo(top) || qobject_cast<QLabel*>(sibling)) continue;
            EXPECT_FALSE(text.intersects(QRectF(sibling->geometry())))
                << window.name() << "." << control->name() << ": \"" << label->text().toStdString() << "\" runs under "
                << sibling->metaObject()->className() << ": text " << text.left() << ".." << text.right() << ", "
                << QFontInfo(label->font()).family().toStdString() << " " << QFontInfo(label->font()).pixelSize()
                << " px, control from " << sibling->geometry().left();
        }
    }
    EXPECT_GT(checked, 3) << window.name() << ": too few captions in sight";
}

// The client area grows with the scale: twice as many device pixels each way
// at twice the scale, as its twips give at 96 dpi.
void ExpectScaledClientArea(const platform::Window& window) {
    QWidget* top = qtt::WindowWidget(window.hWnd());
    ASSERT_NE(top, nullptr);
    const double ratio = top->devicePixelRatio();
    const double scale = ActualScale();
    EXPECT_NEAR(top->width() * ratio, window.clientWidth() / 15.0 * scale, 1.0 * scale) << window.name();
    EXPECT_NEAR(top->height() * ratio, window.clientHeight() / 15.0 * scale, 1.0 * scale) << window.name();
}

class QtHiDpi : public QtProgramTest {};

TEST_F(QtHiDpi, RunsAtTheScaleItWasStartedFor) {
    // Otherwise the runs at 2 would quietly test at 1.
    EXPECT_DOUBLE_EQ(ActualScale(), ExpectedScale());
}

TEST_F(QtHiDpi, TrayAndWindowIconsAreDrawnAtTheSizeShown) {
    std::unique_ptr<platform::TrayIcon> tray = platform::CreateTrayIcon(LevelPicture(2), "vxstat", {});
    ASSERT_NE(qtt::TrayIcon(), nullptr);
    ExpectIconDrawnAtEverySize(qtt::TrayIcon()->icon(), 12, "tray level 2");
    tray->setPicture(LevelPicture(6));
    ExpectIconDrawnAtEverySize(qtt::TrayIcon()->icon(), 28, "tray level 6");

    platform::Window window("w", "W", 1500, 300, platform::BorderStyle::FixedSingle);
    window.setIcon(WindowIconPicture());
    window.show();
    ExpectIconDrawnAtEverySize(qtt::WindowWidget(window.hWnd())->windowIcon(), kWindowIconRows, "window icon");
    tray.reset();
    qtt::ProcessEvents();
}

TEST_F(QtHiDpi, PicturesWithoutADrawingKeepWorking) {
    // A picture given only as pixels is shown at its own size, enlarged
    // where more is asked for; it never goes missing.
    const platform::PictureHandle plain = platform::CreatePicture(4, 4, std::vector<std::uint32_t>(16, 0x102030));
    ASSERT_NE(plain, 0);
    platform::Window window("w", "W", 1500, 300, platform::BorderStyle::FixedSingle);
    window.setIcon(plain);
    const QImage image = qtt::WindowWidget(window.hWnd())->windowIcon().pixmap(QSize(4, 4), 1.0).toImage();
    ASSERT_EQ(image.size(), QSize(4, 4));
    EXPECT_EQ(image.pixel(1, 2) & 0xFFFFFFU, 0x102030U);

    // Drawings that cannot make a picture make none.
    EXPECT_EQ(platform::CreatePicture(0, [](int n) { return LevelPixelsAt(n, 4); }), 0);
    EXPECT_EQ(platform::CreatePicture(32, platform::SquareDrawing()), 0);
    EXPECT_EQ(platform::CreatePicture(32, [](int) { return std::vector<std::uint32_t>(3, 0); }), 0);
}

TEST_F(QtHiDpi, MonitorDialogAndStatisticsCaptionsFitAndScale) {
    StartProgram();
    frmLogIn& dialog = Default<frmLogIn>::Get();
    ExpectCaptionsFit(dialog.window());
    ExpectScaledClientArea(dialog.window());

    frmMain& monitor = StartMonitorByEnter("127.0.0.31");
    // The widest figures the monitor writes beside its bars.
    for (const char* figure : {"999k/s", "99.9M/s", "--"}) {
        monitor.lblBytesIn.setCaption(figure);
        monitor.lblBytesOut.setCaption(figure);
        ExpectCaptionsFit(monitor.window());
    }
    ExpectScaledClientArea(monitor.window());
    // The level pictures kept on the monitor are drawn at the screen's density.
    for (int i = 0; i < 8; ++i) {
        auto* image = qobject_cast<QLabel*>(qtt::ControlWidget(*monitor.Icons[static_cast<std::size_t>(i)]));
        ASSERT_NE(image, nullptr);
        const QPixmap pm = image->pixmap();
        EXPECT_DOUBLE_EQ(pm.devicePixelRatio(), image->devicePixelRatio()) << i;
        EXPECT_EQ(pm.width(), static_cast<int>(std::lround(32 * image->devicePixelRatio()))) << i;
        EXPECT_TRUE(IsLevelPictureDrawnAt(pm.toImage(), 4 * (i + 1))) << i;
    }

    frmLogStats& stats = Default<frmLogStats>::Get();
    stats.Show();
    ExpectCaptionsFit(stats.window());
    ExpectScaledClientArea(stats.window());
}

TEST_F(QtHiDpi, BarsPaintEveryDevicePixelOfTheirRectangle) {
    // The bars promise Qt to paint all of themselves (nothing is cleared
    // beneath them); a pixel they miss shows whatever was there before.
    frmMain& monitor = StartMonitorByEnter("127.0.0.32");
    monitor.barIncoming.setValue(monitor.barIncoming.max() / 2);
    const QRgb unpainted = qRgb(255, 0, 255);
    for (platform::ProgressBar* bar : {&monitor.barOutgoing, &monitor.barIncoming}) {
        QWidget* w = qtt::ControlWidget(*bar);
        ASSERT_NE(w, nullptr);
        const qreal ratio = w->devicePixelRatio();
        QImage image(w->size() * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(unpainted);
        w->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        int missed = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                missed += (image.pixel(x, y) & 0xFFFFFFU) == (unpainted & 0xFFFFFFU);
        EXPECT_EQ(missed, 0) << bar->name() << " at a pixel ratio of " << ratio;
        // The frame is on every edge, as wide as one pixel of the form.
        const QRgb frame = w->palette().color(QPalette::Mid).rgb();
        const int edge = static_cast<int>(std::floor(ratio));
        for (int i = 0; i < edge; ++i) {
            EXPECT_EQ(image.pixel(i, image.height() / 2), frame) << bar->name() << " left edge";
            EXPECT_EQ(image.pixel(image.width() - 1 - i, image.height() / 2), frame) << bar->name() << " right edge";
            EXPECT_EQ(image.pixel(image.width() / 2, i), frame) << bar->name() << " top edge";
            EXPECT_EQ(image.pixel(image.width() / 2, image.height() - 1 - i), frame) << bar->name() << " bottom edge";
        }
    }
}

}  // namespace
}  // namespace vx::qttest
