// The bar chart as shapes: the y axis' round ticks, the bars' heights, the
// labels under them, and nothing out of place for odd input.
#include <gtest/gtest.h>

#include <cstdio>

#include <cmath>

#include "chart/BarChart.h"
#include "tests/support/drawing.h"

namespace vx {
namespace {

using namespace testing_drawing;

using Strings = std::vector<std::string>;

TEST(ChartAxis, RoundTicksInAUnitThatFits) {
    ByteAxis axis = AxisFor(700 * MB);
    EXPECT_EQ(axis.labels, (Strings{"0", "200 MB", "400 MB", "600 MB", "800 MB"}));
    EXPECT_DOUBLE_EQ(axis.top, 800 * MB);
    EXPECT_DOUBLE_EQ(axis.ticks[1], 200 * MB);

    EXPECT_EQ(AxisFor(3.5 * TB).labels, (Strings{"0", "1 TB", "2 TB", "3 TB", "4 TB"}));
    EXPECT_EQ(AxisFor(1 * GB).labels, (Strings{"0", "0.2 GB", "0.4 GB", "0.6 GB", "0.8 GB", "1.0 GB"}));
    EXPECT_EQ(AxisFor(300).labels, (Strings{"0", "0.1 KB", "0.2 KB", "0.3 KB"})) << "below a kilobyte";
    EXPECT_EQ(AxisFor(20 * TB * 1000).labels.back(), "20,000 TB") << "beyond the largest unit";
}

TEST(ChartAxis, AZeroEmptyOrBrokenSeriesGetsAnAxisUpToAKilobyte) {
    const Strings expected{"0", "0.2 KB", "0.4 KB", "0.6 KB", "0.8 KB", "1.0 KB"};
    for (double max : {0.0, -5.0, std::nan(""), double(INFINITY)}) {
        ByteAxis axis = AxisFor(max);
        EXPECT_EQ(axis.labels, expected) << max;
        EXPECT_DOUBLE_EQ(axis.top, KB) << max;
    }
}

TEST(ChartAxis, EveryValueIsCoveredByAFewRoundTicksWithoutWastingTheHeight) {
    for (double max = 1; max < 100 * TB; max *= 1.37) {
        ByteAxis axis = AxisFor(max);
        ASSERT_EQ(axis.ticks.size(), axis.labels.size());
        EXPECT_GE(axis.top, max) << max;
        EXPECT_LE(axis.ticks.size(), 6u) << max;
        EXPECT_GE(axis.ticks.size(), 2u) << max;
        if (max >= KB) {
            EXPECT_LE(axis.top, 2 * max) << max;
        }
        for (std::size_t i = 1; i < axis.ticks.size(); ++i) {
            EXPECT_NEAR(axis.ticks[i] - axis.ticks[i - 1], axis.step, axis.step * 1e-9);
            EXPECT_NE(axis.labels[i], axis.labels[i - 1]) << max << ": two ticks read the same";
        }
    }
}

// The bars of a drawing: rectangles below the legend (at the top, 8 high), in either colour.
std::vector<platform::FilledRect> Bars(const platform::Drawing& d, const platform::Rgb& colour) {
    std::vector<platform::FilledRect> bars;
    for (const auto& r : d.rects)
        if (r.fill == colour && r.y > 12) bars.push_back(r);
    return bars;
}

void ExpectFinite(const platform::Drawing& d) {
    for (const auto& r : d.rects) {
        EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height));
        EXPECT_GE(r.width, 0);
        EXPECT_GE(r.height, 0);
    }
    for (const auto& l : d.lines)
        EXPECT_TRUE(std::isfinite(l.x1) && std::isfinite(l.y1) && std::isfinite(l.x2) && std::isfinite(l.y2));
    for (const auto& t : d.texts) EXPECT_TRUE(std::isfinite(t.x) && std::isfinite(t.y)) << t.text;
}

TEST(ChartDrawing, BarsAreProportionalSideBySideOnOneBaselineAndInside) {
    std::vector<ChartBar> bars{{100 * MB, 50 * MB, "1"}, {25 * MB, 0, "2"}, {0, 0, "3"}};
    const platform::Drawing d = DrawBarChart(bars, 500, 160);
    ExpectFinite(d);
    const auto in = Bars(d, kInColour);
    const auto out = Bars(d, kOutColour);
    ASSERT_EQ(in.size(), 2u) << "no rectangle for nothing";
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NEAR(in[0].height / in[1].height, 4.0, 1e-9);
    EXPECT_NEAR(out[0].height / in[0].height, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(in[0].y + in[0].height, in[1].y + in[1].height);
    EXPECT_DOUBLE_EQ(in[0].y + in[0].height, out[0].y + out[0].height);
    EXPECT_NEAR(in[0].x + in[0].width, out[0].x, 1e-9) << "in left of out, touching";
    EXPECT_LT(in[0].x + in[0].width, in[1].x) << "the next period apart";
    for (const auto& r : d.rects) {
        EXPECT_GE(r.x, 0);
        EXPECT_GE(r.y, 0);
        EXPECT_LE(r.x + r.width, 500 + 1e-9);
        EXPECT_LE(r.y + r.height, 160 + 1e-9);
    }
    // The tallest bar reaches the tick that covers it: 100 MB of a 100 MB axis.
    EXPECT_NEAR(in[0].y, d.lines.back().y1, 1e-9) << "the y axis' line, from its top";
}

TEST(ChartDrawing, EmptyZeroAndTinyChartsHaveNoBarsAndNothingBroken) {
    for (const auto& bars :
         {std::vector<ChartBar>{}, std::vector<ChartBar>(24), std::vector<ChartBar>{{NAN, -1, "x"}}}) {
        for (auto [w, h] : {std::pair{500.0, 160.0}, std::pair{10.0, 5.0}, std::pair{0.0, 0.0}}) {
            const platform::Drawing d = DrawBarChart(bars, w, h);
            ExpectFinite(d);
            EXPECT_TRUE(Bars(d, kInColour).empty());
            EXPECT_TRUE(Bars(d, kOutColour).empty());
        }
    }
    const platform::Drawing d = DrawBarChart({}, 500, 160);
    bool zeroShown = false;
    for (const auto& t : d.texts) zeroShown |= t.text == "0" && t.hAlign == platform::HAlign::Right;
    EXPECT_TRUE(zeroShown) << "the axis is there even without data";
}

TEST(ChartDrawing, LabelsUnderTheBarsAreThinnedToFitAndTheNewestKeepsItsOwn) {
    std::vector<ChartBar> hours;
    for (int h = 0; h < 24; ++h) {
        char label[3];
        std::snprintf(label, sizeof label, "%02d", h);
        hours.push_back({MB, MB, label});
    }
    Strings all;
    for (const auto& bar : hours) all.push_back(bar.label);
    EXPECT_EQ(XLabels(DrawBarChart(hours, 504, 166)), all) << "room for every hour";

    for (double width : {300.0, 200.0, 120.0}) {
        const platform::Drawing d = DrawBarChart(hours, width, 166);
        const Strings shown = XLabels(d);
        ASSERT_FALSE(shown.empty());
        EXPECT_LT(shown.size(), all.size()) << width;
        EXPECT_EQ(shown.back(), "23") << width;
        // No two labels closer than two digits' width.
        std::vector<double> xs;
        for (const auto& t : d.texts)
            if (t.hAlign == platform::HAlign::Centre) xs.push_back(t.x);
        for (std::size_t i = 1; i < xs.size(); ++i) EXPECT_GE(xs[i] - xs[i - 1], 13) << width;
    }
}

}  // namespace
}  // namespace vx
