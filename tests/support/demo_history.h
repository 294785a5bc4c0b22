// A household's month of traffic for pictures of the history window: quiet
// nights, busy evenings, more at weekends and one large download.
#pragma once

#include <cmath>
#include <cstdint>

#include "history/History.h"

namespace vx::test {

inline HistorySummary DemoHistorySummary(std::int64_t now) {
    constexpr double MB = 1024.0 * 1024, GB = MB * 1024;
    // Megabytes in per hour of the day, midnight first.
    constexpr int kDay[24] = {60, 30, 12, 5,  3,  2,  2,  4,  15,  30,  25,  20,
                              22, 35, 30, 28, 32, 45, 60, 85, 120, 140, 130, 90};
    HistorySummary s;
    const std::int64_t hour = now - now % 3600;
    for (int h = 0; h < 24; ++h) {
        const std::int64_t start = hour - (23 - h) * 3600;
        const double in = kDay[(start / 3600) % 24] * 9.0 * MB;
        s.hours.push_back({start, {in, in / 9}});
    }
    const std::int64_t day = now - now % 86400;
    for (int d = 0; d < 30; ++d) {
        const double in = (4.0 + 3.0 * std::sin(d * 0.9) + (d % 7 >= 5 ? 4 : 0) + (d == 24 ? 18 : 0)) * GB;
        s.days.push_back({day - (29 - d) * 86400, {in, in / 8}});
    }
    s.today = {1.61 * GB, 183.5 * MB};
    s.yesterday = {6.42 * GB, 820.1 * MB};
    s.thisMonth = {47.9 * GB, 6.1 * GB};
    s.lastMonth = {212.4 * GB, 25.7 * GB};
    s.monthStart = day - 7 * 86400;
    s.quota = 500 * GB;
    return s;
}

}  // namespace vx::test
