// What the chart tests read off a drawing: byte units, and the labels under
// the bars (centred texts).
#pragma once

#include <string>
#include <vector>

#include "platform/drawing.h"

namespace vx::testing_drawing {

constexpr double KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;

inline std::vector<std::string> XLabels(const platform::Drawing& d) {
    std::vector<std::string> labels;
    for (const auto& t : d.texts)
        if (t.hAlign == platform::HAlign::Centre) labels.push_back(t.text);
    return labels;
}

}  // namespace vx::testing_drawing
