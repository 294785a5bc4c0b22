// Whether an SNMP reading goes on from the last one or starts a new
// baseline (the SNMP manager, client.cpp).
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace vx::platform::snmp {

class Continuity {
public:
    // The interface read now (its index and the name it was chosen by) and
    // its counters' discontinuity time, where the agent gave one. True for a
    // new baseline: another interface, or the agent says this one's counters
    // started again (the interface was re-created). The same interface chosen
    // again after a bad reply goes on from its last reading.
    bool NewBaseline(long index, const std::string& name, std::optional<double> discontinuity) {
        const bool fresh = read_ != std::make_pair(index, name) ||
                           (discontinuity && discontinuity_ && *discontinuity != *discontinuity_);
        read_ = std::make_pair(index, name);
        if (discontinuity) discontinuity_ = discontinuity;
        return fresh;
    }

private:
    std::optional<std::pair<long, std::string>> read_;
    std::optional<double> discontinuity_;
};

}  // namespace vx::platform::snmp
