#include "chart/BarChart.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/app.h"

namespace vx {

namespace {

using platform::HAlign;
using platform::Rgb;
using platform::VAlign;

constexpr double kFontPoints = 8;
// A generous width of one character at 8 points: text is laid out before any
// font is measured, so room is kept for the widest digits of a sans serif.
constexpr double kCharWidth = 6.5;
constexpr double kTextHeight = 12;
constexpr double kLegendHeight = 16;
constexpr double kGap = 4;
constexpr int kMaxSteps = 5;

const Rgb kGrid{225, 225, 225};
const Rgb kAxis{120, 120, 120};
const Rgb kText{0, 0, 0};

struct Unit {
    double bytes;
    const char* name;
};
constexpr std::array<Unit, 4> kUnits{
    {{1024.0, "KB"}, {1024.0 * 1024, "MB"}, {1024.0 * 1024 * 1024, "GB"}, {1024.0 * 1024 * 1024 * 1024, "TB"}}};

double Sane(double bytes) { return std::isfinite(bytes) && bytes > 0 ? bytes : 0; }

double TextWidth(const std::string& text) { return static_cast<double>(text.size()) * kCharWidth; }

}  // namespace

ByteAxis AxisFor(double maxBytes) {
    maxBytes = Sane(maxBytes);
    Unit unit = kUnits[0];
    for (const Unit& u : kUnits)
        if (maxBytes >= u.bytes) unit = u;
    const double value = maxBytes > 0 ? maxBytes / unit.bytes : 1;

    // The smallest round step that covers the value in kMaxSteps or fewer.
    double step = std::pow(10.0, std::floor(std::log10(value / kMaxSteps)));
    for (int guard = 0; guard < 8; ++guard) {
        bool found = false;
        for (double m : {1.0, 2.0, 5.0})
            if (std::ceil(value / (step * m) - 1e-9) <= kMaxSteps) {
                step *= m;
                found = true;
                break;
            }
        if (found) break;
        step *= 10;
    }
    const int steps = std::max(1, static_cast<int>(std::ceil(value / step - 1e-9)));
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));

    ByteAxis axis;
    axis.step = step * unit.bytes;
    axis.top = steps * axis.step;
    for (int i = 0; i <= steps; ++i) {
        axis.ticks.push_back(i * axis.step);
        axis.labels.push_back(i == 0 ? std::string("0") : platform::FormatNumber(i * step, decimals) + " " + unit.name);
    }
    return axis;
}

platform::Drawing DrawBarChart(const std::vector<ChartBar>& bars, double width, double height) {
    platform::Drawing d;
    d.width = std::max(0.0, width);
    d.height = std::max(0.0, height);
    d.fontPoints = kFontPoints;

    double highest = 0;
    for (const ChartBar& bar : bars) highest = std::max({highest, Sane(bar.in), Sane(bar.out)});
    const ByteAxis axis = AxisFor(highest);

    double labelWidth = 0;
    for (const std::string& label : axis.labels) labelWidth = std::max(labelWidth, TextWidth(label));
    const double left = std::min(d.width, labelWidth + 2 * kGap);
    const double right = std::max(left, d.width - kGap);
    const double top = std::min(d.height, kLegendHeight);
    const double bottom = std::max(top, d.height - kTextHeight - kGap);
    const double plotHeight = bottom - top;

    // The legend, top right: a swatch and a word for each direction.
    const double swatch = 8;
    const double outX = right - TextWidth("Out") - swatch - kGap;
    const double inX = outX - 2 * kGap - TextWidth("In") - swatch - kGap;
    const double legendY = kLegendHeight / 2;
    d.rects.push_back({inX, legendY - swatch / 2, swatch, swatch, kInColour});
    d.texts.push_back({inX + swatch + kGap, legendY, "In", HAlign::Left, VAlign::Middle, kText});
    d.rects.push_back({outX, legendY - swatch / 2, swatch, swatch, kOutColour});
    d.texts.push_back({outX + swatch + kGap, legendY, "Out", HAlign::Left, VAlign::Middle, kText});

    // Grid lines and the y axis' texts.
    for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
        const double y = bottom - plotHeight * axis.ticks[i] / axis.top;
        d.lines.push_back({left, y, right, y, i == 0 ? kAxis : kGrid});
        d.texts.push_back({left - kGap, y, axis.labels[i], HAlign::Right, VAlign::Middle, kText});
    }
    d.lines.push_back({left, top, left, bottom, kAxis});

    if (bars.empty()) return d;
    const double slot = (right - left) / static_cast<double>(bars.size());
    const double barWidth = slot * 0.4;
    std::size_t widest = 1;
    for (const ChartBar& bar : bars) widest = std::max(widest, bar.label.size());
    // Every how many bars a label fits; in an area too small for any, only the newest.
    const double count = static_cast<double>(bars.size());
    const double fit = slot > 0 ? std::ceil((TextWidth(std::string(widest, '0')) + kGap) / slot) : count;
    const auto every = static_cast<std::size_t>(std::clamp(fit, 1.0, count));
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double centre = left + slot * (static_cast<double>(i) + 0.5);
        const double in = plotHeight * Sane(bars[i].in) / axis.top;
        const double out = plotHeight * Sane(bars[i].out) / axis.top;
        if (in > 0) d.rects.push_back({centre - barWidth, bottom - in, barWidth, in, kInColour});
        if (out > 0) d.rects.push_back({centre, bottom - out, barWidth, out, kOutColour});
        if ((bars.size() - 1 - i) % every == 0 && !bars[i].label.empty())
            d.texts.push_back({centre, bottom + kGap / 2, bars[i].label, HAlign::Centre, VAlign::Top, kText});
    }
    return d;
}

}  // namespace vx
