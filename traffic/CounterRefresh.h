// Counters that move in steps: many agents refresh theirs only every few
// seconds, so a counter that stands still between refreshes is no zero rate,
// and its jump is no burst. The refresh is learned from the time between
// changes; a reading that shows no change within it is held back, so that the
// next change gives the rate over the whole time since the last one.
#pragma once

#include <deque>
#include <optional>

#include "traffic/Traffic.h"

namespace vx {

class CounterRefresh {
public:
    // Whether `reading` goes on to Traffic: the counters moved, the uptime
    // went back, a new baseline, or no change for longer than the refresh
    // (the line is quiet). Otherwise it is held back.
    bool pass(const Reading& reading);
    // The refresh learned so far, seconds (until learned: an assumption).
    double refresh() const;

private:
    std::optional<Reading> last_;   // the last reading passed on
    bool lastWasChange_ = false;    // ...and it was a change, so the next change's gap is a refresh
    std::deque<double> intervals_;  // the last gaps between changes
};

}  // namespace vx
