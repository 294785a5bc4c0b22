// What the recorder knows after a tick, copied whole for the HTTP server's
// thread: a request reads the last copy and never waits for the router or
// the history's writes.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "history/History.h"
#include "traffic/Traffic.h"

namespace vx::recorder {

struct Snapshot {
    std::string router;  // the address as set in boot.ini (never the password)
    std::string source;  // "web", "console" or "upnp"
    std::int64_t utc = 0;
    double monotonic = 0;  // when this was taken
    std::uint64_t ticks = 0;
    ByteCounts totals;                  // running totals since the statistics file began
    std::optional<ByteCounts> rates;    // the last counted step's, bytes per second
    ByteCounts lineSpeed;               // what the bars scale to, bytes per second
    bool megabytes = false;             // the figures read "M/s" from 1,000 k/s on
    int level = 0;                      // the tray picture's level, 0..7
    bool up = false;                    // the router answered within the last few ticks
    std::string status;                 // the caption's word: "Connecting", ...; empty when all is well
    std::optional<double> lastReading;  // monotonic seconds of the last reading
    std::uint64_t wraps = 0, restarts = 0, impossible = 0, stuck = 0, missed = 0;
    std::optional<HistorySummary> summary;  // today, this billing month, quota, the last 24 hours
};

// The last snapshot, shared between the tick and the server's thread.
class SnapshotBox {
public:
    void publish(const Snapshot& snapshot) {
        std::lock_guard<std::mutex> lock(mutex_);
        snapshot_ = snapshot;
    }
    Snapshot get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return snapshot_;
    }

private:
    mutable std::mutex mutex_;
    Snapshot snapshot_;
};

}  // namespace vx::recorder
