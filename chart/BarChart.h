// The traffic bar chart as shapes: bars of bytes in and out side by side, a
// y axis at round values in a unit that fits, and labels under the bars. The
// same shapes are drawn by every backend.
#pragma once

#include <string>
#include <vector>

#include "platform/drawing.h"

namespace vx {

// One period's bar pair; `label` is what may be written under it ("07", "15").
struct ChartBar {
    double in = 0;
    double out = 0;
    std::string label;
};

// The y axis: ticks from 0 to `top` (bytes) every `step` bytes, each with its text.
struct ByteAxis {
    double top = 0;
    double step = 0;
    std::vector<double> ticks;
    std::vector<std::string> labels;
};

// Round ticks covering `maxBytes` (at most 5 steps of 1, 2 or 5 times a power
// of ten in KB, MB, GB or TB). An empty or zero series gets an axis up to 1 KB.
ByteAxis AxisFor(double maxBytes);

inline const platform::Rgb kInColour{0, 150, 60};
inline const platform::Rgb kOutColour{40, 100, 210};

// The chart laid out in a `width` x `height` area (logical pixels). Labels
// are thinned so that they never overlap; the newest bar keeps its label.
platform::Drawing DrawBarChart(const std::vector<ChartBar>& bars, double width, double height);

}  // namespace vx
