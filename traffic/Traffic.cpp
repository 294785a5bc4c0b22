#include "traffic/Traffic.h"

#include "runtime/numtext.h"
#include "traffic/modFunctions.h"

namespace vx {

Traffic::Traffic(ByteCounts startTotals, bool countTotals) : totals_(startTotals), countTotals_(countTotals) {}

std::optional<ByteCounts> Traffic::take(const Reading& reading) {
    const std::optional<Reading> last = last_;
    last_ = reading;
    if (!last) return std::nullopt;
    const ByteCounts moved{reading.bytesIn - last->bytesIn, reading.bytesOut - last->bytesOut};
    if (countTotals_) {
        if (moved.in > 0) totals_.in += moved.in;
        if (moved.out > 0) totals_.out += moved.out;
    }
    return moved;
}

void Traffic::save(const std::string& statisticsFile) const {
    WriteIniValue("TotalStats", "Incoming", Str(totals_.in), statisticsFile);
    WriteIniValue("TotalStats", "OutGoing", Str(totals_.out), statisticsFile);
}

}  // namespace vx
