// Readings as values, and the one object that turns them into per-tick rates
// and running totals.
#pragma once

#include <optional>
#include <string>

namespace vx {

// The router's byte counters as it counts them, now: whole numbers, exact up
// to 2^53 in a double.
struct Reading {
    double bytesIn = 0;
    double bytesOut = 0;
};

// Bytes moved, each way.
struct ByteCounts {
    double in = 0;
    double out = 0;
};

class Traffic {
public:
    // Starts from the stored totals. When `countTotals` is false, the totals
    // never grow (the web page's reading only shows rates).
    Traffic(ByteCounts startTotals, bool countTotals);

    // Takes one reading: the bytes moved since the previous reading (the
    // tick's rates), or nothing for the first reading, which only sets the
    // baseline: a router's counters hold everything since it started, not
    // this run's traffic. Each direction adds its own growth to its total; a
    // counter that went back adds nothing.
    std::optional<ByteCounts> take(const Reading& reading);

    // The next reading sets a new baseline (a new connection to the router).
    void forgetBaseline() { last_.reset(); }

    const ByteCounts& totals() const { return totals_; }

    // Writes both totals into the statistics file, "Incoming" first.
    void save(const std::string& statisticsFile) const;

private:
    ByteCounts totals_;
    bool countTotals_;
    std::optional<Reading> last_;
};

}  // namespace vx
