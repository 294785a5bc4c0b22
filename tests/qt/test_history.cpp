// "Traffic History" on the Qt backend, offscreen: the charts are painted
// with the bars' colours, crisp at the device pixel ratio, and no label's
// text is wider or taller than its control. The same binary runs again at
// QT_SCALE_FACTOR=2 (ctest qt_history_at_200_percent).
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QWidget>

#include <cstdlib>
#include <set>

#include "historyview/frmHistory.h"
#include "tests/qt/qt_program.h"
#include "tests/support/demo_history.h"
#include "tests/qt/qt_testing.h"

namespace vx::qttest {
namespace {

namespace qtt = platform::qt_testing;

constexpr std::int64_t kNow = 1796738400;  // 2026-12-08 14:00 UTC

class QtHistory : public QtProgramTest {
protected:
    void TearDown() override {
        Default<frmHistory>::Unload();
        QtProgramTest::TearDown();
    }
    // `recovered`: every period with bytes counted while vxstat was not running, the longest line.
    frmHistory& Open(bool recovered = false) {
        ShowHistory([recovered] {
            HistorySummary s = test::DemoHistorySummary(kNow);
            if (recovered)
                for (ByteCounts* r :
                     {&s.todayRecovered, &s.yesterdayRecovered, &s.thisMonthRecovered, &s.lastMonthRecovered})
                    *r = {1000.99 * 1024 * 1024 * 1024, 0};
            return std::optional<HistorySummary>(s);
        });
        frmHistory& w = *Default<frmHistory>::Peek();
        qtt::ProcessEvents();
        return w;
    }
};

QColor Qc(const platform::Rgb& c) { return QColor(c.r, c.g, c.b); }

TEST_F(QtHistory, TheChartsArePaintedCrisplyInTheBarsColours) {
    frmHistory& w = Open();
    QWidget* window = widgetOf(w.hWnd());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return window->isVisible(); }));
    EXPECT_EQ(window->windowTitle(), "Traffic History");

    for (platform::Chart* chart : {&w.chartHours, &w.chartDays}) {
        QWidget* widget = qtt::ControlWidget(*chart);
        ASSERT_NE(widget, nullptr);
        const QImage image = widget->grab().toImage();
        const double ratio = widget->devicePixelRatioF();
        EXPECT_EQ(image.width(), std::lround(widget->width() * ratio));
        // The tallest bar of each colour, found in the shapes, painted where they say.
        for (const platform::Rgb& colour : {kInColour, kOutColour}) {
            const platform::FilledRect* tallest = nullptr;
            for (const auto& r : chart->drawing().rects)
                if (r.fill == colour && r.y > 12 && (!tallest || r.height > tallest->height)) tallest = &r;
            ASSERT_NE(tallest, nullptr);
            const double sx = widget->width() / chart->drawing().width;
            const QPoint centre(static_cast<int>((tallest->x + tallest->width / 2) * sx * ratio),
                                static_cast<int>((tallest->y + tallest->height / 2) * ratio));
            EXPECT_EQ(image.pixelColor(centre), Qc(colour));
        }
        // A row across the bars, below any text: only the chart's own
        // colours, no blend of two at a bar's edge.
        const platform::FilledRect* tallestIn = nullptr;
        for (const auto& r : chart->drawing().rects)
            if (r.fill == kInColour && r.y > 12 && (!tallestIn || r.height > tallestIn->height)) tallestIn = &r;
        const int row = static_cast<int>((tallestIn->y + tallestIn->height - 3) * ratio);
        const std::set<QRgb> palette{Qc(kInColour).rgb(), Qc(kOutColour).rgb(), QColor(255, 255, 255).rgb(),
                                     QColor(225, 225, 225).rgb(), QColor(120, 120, 120).rgb()};
        const int from = static_cast<int>((chart->drawing().lines.back().x1 + 2) * ratio);
        for (int x = from; x < image.width() - 2; ++x)
            ASSERT_TRUE(palette.count(image.pixelColor(x, row).rgb()))
                << "a blended pixel at " << x << "," << row << " of " << chart->name() << " (ratio " << ratio << ")";
    }

    if (const char* shot = std::getenv("VXSTAT_HISTORY_SHOT")) {
        ASSERT_TRUE(window->grab().save(QString::fromUtf8(shot)));
    }
}

TEST_F(QtHistory, NoLabelIsCutAtThisScale) {
    frmHistory& w = Open(true);
    EXPECT_TRUE(w.lblRecovered.visible());
    int checked = 0;
    for (const auto& control : w.window().controls()) {
        if (control->kind() != platform::ControlKind::Label || !control->visible()) continue;
        auto* label = qobject_cast<QLabel*>(qtt::ControlWidget(*control));
        ASSERT_NE(label, nullptr) << control->name();
        const QFontMetrics metrics(label->font());
        // A label that wraps at blanks must hold all its lines.
        const QRect needed =
            label->wordWrap()
                ? metrics.boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, label->text())
                : QRect(0, 0, metrics.horizontalAdvance(label->text()), metrics.height());
        EXPECT_LE(needed.width(), label->width()) << control->name() << ": " << label->text().toStdString();
        EXPECT_LE(needed.height(), label->height()) << control->name() << ": " << label->text().toStdString();
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

}  // namespace
}  // namespace vx::qttest
