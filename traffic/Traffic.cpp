#include "traffic/Traffic.h"

#include <algorithm>
#include <cmath>

#include "runtime/numtext.h"
#include "traffic/modFunctions.h"

namespace vx {

namespace {

constexpr double k2p32 = 4294967296.0;
constexpr double kStuck = 4294967295.0;
constexpr double kUnknownLineBits = 1e9;
constexpr double kMargin = 1.02;
// A tick is a second; a reading sooner than that (a late tick and a prompt
// one) is still a second's worth of line.
constexpr double kShortestInterval = 1.0;
// Bad replies in a row after which their counters are believed after all (an
// agent that starts its counters again without saying so).
constexpr int kOutliersBeforeBaseline = 10;

// How far the router's uptime and the wall clock may disagree over a gap:
// the readings' moments (a tick, a round) and a clock's drift (1000 ppm).
double GapClockSlack(double seconds) { return 10 + seconds / 1000; }

enum class Move { Forward, Wrapped, Back, TooMuch };

Move Classify(double last, double now, double capacity, double& moved) {
    if (now >= last) {
        moved = now - last;
        return moved <= capacity ? Move::Forward : Move::TooMuch;
    }
    if (last < k2p32 && now < k2p32) {
        const double wrapped = k2p32 - last + now;
        if (wrapped <= capacity) {
            moved = wrapped;
            return Move::Wrapped;
        }
    }
    return Move::Back;
}

}  // namespace

Traffic::Traffic(ByteCounts startTotals) : totals_(startTotals) {}

TrafficUpdate Traffic::take(const Reading& reading) {
    if (reading.bytesIn == kStuck || reading.bytesOut == kStuck) return {Step::Stuck, std::nullopt, std::nullopt};
    const std::optional<Reading> last = last_;
    last_ = reading;
    if (!last || reading.firstOfSession) return {Step::Baseline, std::nullopt, std::nullopt};
    if (reading.uptime && last->uptime && *reading.uptime < *last->uptime)
        return {Step::Restarted, std::nullopt, std::nullopt};

    const double seconds = std::max(reading.at - last->at, kShortestInterval);
    const double down = std::min(speed_.down > 0 ? speed_.down : kUnknownLineBits, kMaxLineBits);
    const double up = std::min(speed_.up > 0 ? speed_.up : down, kMaxLineBits);
    ByteCounts moved;
    const Move in = Classify(last->bytesIn, reading.bytesIn, down / 8 * kMargin * seconds, moved.in);
    const Move out = Classify(last->bytesOut, reading.bytesOut, up / 8 * kMargin * seconds, moved.out);
    const bool back = in == Move::Back || out == Move::Back;
    if (back || in == Move::TooMuch || out == Move::TooMuch) {
        // An uptime that grew proves there was no restart: this reply is the
        // fault, and the next good one counts from the last good one.
        const bool proven = reading.uptimeProvesContinuity && last->uptimeProvesContinuity && reading.uptime &&
                            last->uptime && *reading.uptime >= *last->uptime;
        if (proven && ++outliers_ < kOutliersBeforeBaseline) {
            last_ = last;
            return {Step::Impossible, std::nullopt, std::nullopt};
        }
        outliers_ = 0;
        return {back ? Step::Restarted : Step::Impossible, std::nullopt, std::nullopt};
    }
    outliers_ = 0;

    totals_.in += moved.in;
    totals_.out += moved.out;
    const bool wrapped = in == Move::Wrapped || out == Move::Wrapped;
    // Readings are taken on the ticks: a router that answers every other tick
    // moved its bytes over two seconds, not one. Whole ticks, so that a late or
    // early tick does not make a steady flow flicker.
    const double ticks = std::max(std::round(reading.at - last->at), 1.0);
    return {wrapped ? Step::Wrapped : Step::Counted, moved, ByteCounts{moved.in / ticks, moved.out / ticks}};
}

GapCredit CreditGap(const CounterMark& before, const CounterMark& after, const LineSpeed& speed) {
    if (before.counters != after.counters || before.counters64 != after.counters64) return {Gap::OtherCounters, {}};
    if (!before.uptime || !after.uptime) return {Gap::NoUptime, {}};
    const double passed = static_cast<double>(after.utc - before.utc);
    if (passed < 0) return {Gap::ClockMoved, {}};
    if (*after.uptime < *before.uptime || *after.uptime < passed - GapClockSlack(passed)) return {Gap::Restarted, {}};
    // Both clocks count the same seconds, up to their drift and the moments
    // the two readings were taken in.
    if (std::abs(*after.uptime - *before.uptime - passed) > GapClockSlack(passed)) return {Gap::ClockMoved, {}};

    const double seconds = std::max(passed, kShortestInterval);
    const double down = speed.down > 0 ? std::min(speed.down, kMaxLineBits) : kMaxLineBits;
    const double up = speed.up > 0 ? std::min(speed.up, kMaxLineBits) : down;
    GapCredit credit{Gap::Counted, {}};
    auto moved = [&](double last, double now, double bits, double& bytes) {
        const double capacity = bits / 8 * kMargin * seconds;
        if (!before.counters64) {
            // One wrap is seen (the counter is lower); two look like none.
            if (last >= k2p32 || now >= k2p32) return Gap::OtherCounters;
            if (capacity >= k2p32) return Gap::MayHaveWrapped;
            bytes = now >= last ? now - last : k2p32 - last + now;
        } else {
            if (now < last) return Gap::CountersBack;
            bytes = now - last;
        }
        return bytes <= capacity ? Gap::Counted : Gap::TooMuch;
    };
    for (Gap g : {moved(before.bytesIn, after.bytesIn, down, credit.bytes.in),
                  moved(before.bytesOut, after.bytesOut, up, credit.bytes.out)})
        if (g != Gap::Counted) return {g, {}};
    return credit;
}

void Traffic::save(const std::string& statisticsFile) const {
    WriteIniValue("TotalStats", "Incoming", Str(totals_.in), statisticsFile);
    WriteIniValue("TotalStats", "OutGoing", Str(totals_.out), statisticsFile);
}

}  // namespace vx
