#include "traffic/CounterRefresh.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vx {

namespace {

// Until two gaps are known, a refresh this long is assumed: the usual agents'.
constexpr double kAssumedRefresh = 5;
// No refresh is believed longer: a quiet line shows as quiet soon enough.
constexpr double kLongestRefresh = 10;
constexpr std::size_t kGapsKept = 8;
// Readings come on the ticks: a change may be seen one tick late.
constexpr double kTickSlack = 1;
// A counter stuck here is no reading at all (Traffic passes it over), and
// each of them must reach it so that the silence rule sees them.
constexpr double kStuck = 4294967295.0;

}  // namespace

double CounterRefresh::refresh() const {
    if (intervals_.size() < 2) return kAssumedRefresh;
    // The median: one long quiet gap does not make the refresh long.
    std::vector<double> gaps(intervals_.begin(), intervals_.end());
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    return std::min(std::round(gaps[gaps.size() / 2]), kLongestRefresh);
}

bool CounterRefresh::pass(const Reading& reading) {
    if (reading.bytesIn == kStuck || reading.bytesOut == kStuck) return true;
    const bool restart = !last_ || reading.firstOfSession ||
                         (reading.uptime && last_->uptime && *reading.uptime < *last_->uptime) ||
                         reading.at < last_->at;
    const bool changed = restart || reading.bytesIn != last_->bytesIn || reading.bytesOut != last_->bytesOut;
    if (!changed && reading.at - last_->at <= refresh() + kTickSlack) return false;
    if (changed && !restart && lastWasChange_) {
        intervals_.push_back(reading.at - last_->at);
        if (intervals_.size() > kGapsKept) intervals_.pop_front();
    }
    lastWasChange_ = changed && !restart;
    last_ = reading;
    return true;
}

}  // namespace vx
