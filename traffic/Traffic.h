// Readings as values, and the one object that turns them into per-tick rates
// and running totals, with the rules for counters that wrap, restart or stick.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "traffic/LineSpeed.h"

namespace vx {

// The router's byte counters as it counts them, now: whole numbers, exact up
// to 2^53 in a double.
struct Reading {
    double bytesIn = 0;
    double bytesOut = 0;
    double at = 0;                 // when it was taken: seconds on a monotonic clock
    std::optional<double> uptime;  // seconds the router's connection has been up, where it says
    bool firstOfSession = false;   // the first reading over a new connection: only a baseline
    bool counters64 = false;       // 64-bit counters: none wraps unseen in any time
    double uptimeAt = 0;           // when `uptime` was read, where not with the counters (monotonic seconds)
    // The uptime came with these counters, from an agent whose counters only
    // start again when it does (SNMP's sysUpTime): while it grows, counters
    // that go back or leap are a bad reply, not a restart.
    bool uptimeProvesContinuity = false;
};

// Bytes moved, each way.
struct ByteCounts {
    double in = 0;
    double out = 0;
};

// What a reading was taken as.
enum class Step {
    Baseline,    // the first reading, or the first after a restart: no rate
    Counted,     // the counters moved forward
    Wrapped,     // a 32-bit counter passed 2^32 and started again; counted
    Restarted,   // the counters (or the uptime) went back: the router restarted; a new baseline
    Impossible,  // more than the line can carry in the time: a new baseline, nothing counted
    Stuck,       // a counter reads 4294967295, a known firmware fault: the reading is passed over
};

struct TrafficUpdate {
    Step step = Step::Baseline;
    std::optional<ByteCounts> moved;  // the bytes since the previous reading
    std::optional<ByteCounts> rates;  // those bytes per second, over the seconds between the two readings
};

// The last reading of a run, kept for the next: the router's counters, its
// uptime and the wall clock then.
struct CounterMark {
    double bytesIn = 0;
    double bytesOut = 0;
    std::optional<double> uptime;  // the router's seconds up, where it says
    std::int64_t utc = 0;          // the wall clock, UTC seconds
    bool counters64 = false;
    std::string counters;  // which counters: an SNMP interface's name; empty where the router has one pair
};

// What the counters did while no reading was taken, from one mark to the next.
enum class Gap {
    Counted,         // provably the bytes in between: credit them
    NoUptime,        // a mark without the router's uptime: a restart cannot be ruled out
    Restarted,       // the router's uptime is shorter than the time that passed
    ClockMoved,      // the wall clock went back, or moved by more than the router's uptime
    OtherCounters,   // another interface, or counters of another width
    MayHaveWrapped,  // 32-bit counters over a time the line could move 2^32 bytes in
    CountersBack,    // counters that went back with the router up all along: reset
    TooMuch,         // more than the line carries in the time
};

struct GapCredit {
    Gap gap = Gap::NoUptime;
    ByteCounts bytes;  // when Counted
};

// The bytes the router counted between two marks, when provable: its uptime
// grew by the wall clock's time (within a clock's drift) and the counters
// cannot have wrapped unseen. `speed` is the line's (zero: unknown, taken as
// the fastest line).
GapCredit CreditGap(const CounterMark& before, const CounterMark& after, const LineSpeed& speed);

class Traffic {
public:
    // Starts from the stored totals. Every source's readings grow them.
    explicit Traffic(ByteCounts startTotals);

    // What the line can carry, for telling a wrap from a restart. Unknown
    // speeds count as a gigabit line; none as more than kMaxLineBits.
    void setLineSpeed(const LineSpeed& speed) { speed_ = speed; }

    // Takes one reading. Each direction adds its own growth to its total.
    // A counter that went down is a 32-bit wrap when 2^32 - last + now is within
    // what the line can carry in the time since the last reading (plus 2 %),
    // and a restart otherwise; an uptime that went down is a restart whatever
    // the counters say.
    TrafficUpdate take(const Reading& reading);

    // The next reading sets a new baseline (a new connection to the router).
    void forgetBaseline() { last_.reset(); }

    const ByteCounts& totals() const { return totals_; }
    // The line's speed the counters are checked against.
    const LineSpeed& lineSpeed() const { return speed_; }
    // Grows the totals by bytes the router counted while no reading was taken.
    void credit(const ByteCounts& bytes) {
        totals_.in += bytes.in;
        totals_.out += bytes.out;
    }

    // Writes both totals into the statistics file, "Incoming" first.
    void save(const std::string& statisticsFile) const;

private:
    ByteCounts totals_;
    LineSpeed speed_;
    std::optional<Reading> last_;
    int outliers_ = 0;  // bad replies in a row, the baseline kept
};

}  // namespace vx
