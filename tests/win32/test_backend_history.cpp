// "Traffic History" as native windows: the window opens with its two charts
// as child windows of their own class, and each paints its drawing with GDI:
// the bars in their colours where the shapes put them.
#include "historyview/frmHistory.h"
#include "tests/support/demo_history.h"
#include "tests/win32/support.h"

#include <vector>

namespace vx::platform::win32 {
namespace {

using test::PumpUntil;

HistorySummary Sample() { return vx::test::DemoHistorySummary(1796738400); }

std::vector<HWND> Charts(HWND window) {
    std::vector<HWND> found;
    for (HWND h = GetWindow(window, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(h, name, sizeof name);
        if (std::string(name) == "vxstat.chart") found.push_back(h);
    }
    return found;
}

// The chart's picture, as it paints itself, in a bitmap of its size.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

Picture Print(HWND chart) {
    RECT r;
    GetClientRect(chart, &r);
    Picture p{r.right, r.bottom, {}};
    HDC screen = GetDC(chart);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, p.width, p.height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(chart, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(chart, screen);
    return p;
}

class NativeHistory : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        InitApplication(argc, nullptr);
    }
    void TearDown() override {
        Default<frmHistory>::Unload();
        PumpUntil([] { return false; }, 50);
    }
};

TEST_F(NativeHistory, TheWindowOpensAndItsChartsPaintTheirBars) {
    ShowHistory([] { return std::optional<HistorySummary>(Sample()); });
    frmHistory& w = *Default<frmHistory>::Peek();
    const HWND window = Native(w.hWnd());
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }));
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Traffic History");

    const std::vector<HWND> charts = Charts(window);
    ASSERT_EQ(charts.size(), 2u);
    const Chart* models[] = {&w.chartHours, &w.chartDays};
    for (std::size_t i = 0; i < charts.size(); ++i) {
        const Picture picture = Print(charts[i]);
        const Drawing& d = models[i]->drawing();
        ASSERT_GT(picture.width, 0);
        const double sx = picture.width / d.width, sy = picture.height / d.height;
        int bars = 0;
        for (const FilledRect& r : d.rects) {
            if (r.y <= 12 || r.height < 3 || r.width < 3) continue;  // the legend, or too thin to hit
            const int x = static_cast<int>((r.x + r.width / 2) * sx), y = static_cast<int>((r.y + r.height / 2) * sy);
            EXPECT_EQ(picture.at(x, y), RGB(r.fill.r, r.fill.g, r.fill.b)) << "chart " << i << " at " << x << "," << y;
            ++bars;
        }
        EXPECT_GE(bars, 24) << "chart " << i;
        EXPECT_EQ(picture.at(picture.width - 2, picture.height - 2), RGB(255, 255, 255)) << "the background";
    }

    // A second opening brings the same window forward.
    ShowHistory([] { return std::optional<HistorySummary>(Sample()); });
    EXPECT_EQ(Native(Default<frmHistory>::Peek()->hWnd()), window);
}

}  // namespace
}  // namespace vx::platform::win32
