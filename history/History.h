// The traffic history: every counted byte kept per minute, hour, day and
// month, per router, in one SQLite file beside the statistics file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "traffic/Traffic.h"

namespace vx {

// Whose bytes these are: two routers are never mixed.
struct RouterKey {
    std::string address;  // as typed in the dialog: "192.168.0.1", a gateway's description URL, ...
    std::string source;   // "web", "console" or "upnp"
};

// One period's bytes; `start` is the period's first moment, UTC seconds.
struct HistoryBar {
    std::int64_t start = 0;
    ByteCounts bytes;
    ByteCounts recovered{};  // of those bytes, the ones counted while vxstat was not running
};

// What the history window and the command line show, as of one moment.
struct HistorySummary {
    ByteCounts today, yesterday;
    ByteCounts thisMonth, lastMonth;  // billing months: from MonthStart on
    std::int64_t monthStart = 0;      // this billing month's first moment, UTC seconds
    std::vector<HistoryBar> hours;    // the last 24 hours, oldest first, the current hour last
    std::vector<HistoryBar> days;     // the last 30 days, oldest first, today last
    std::optional<double> quota;      // bytes a billing month may use, when set
    ByteCounts beforeHistory;         // the totals the statistics file held when the history began
    // Of today's, yesterday's and the months' bytes, the ones the router
    // counted while vxstat was not running, recovered at the next start.
    ByteCounts todayRecovered, yesterdayRecovered;
    ByteCounts thisMonthRecovered, lastMonthRecovered;
};

class History {
public:
    virtual ~History() = default;

    // Opens (and creates, with its folder) the history file for writing; null
    // with `error` set when it cannot be opened, kHistoryInUse when another
    // process keeps this router's history in that file. A damaged file is
    // set aside (renamed, kept) and a new one started: takeNotice() then
    // says so. The monthly rows it writes start on `monthStartDay` (boot.ini's
    // MonthStart).
    static std::unique_ptr<History> Open(const std::string& file, const RouterKey& router, std::string& error,
                                         int monthStartDay = 1);

    // Counts bytes moved at `utc` (seconds). Kept in memory until flush(): cheap.
    virtual void add(std::int64_t utc, const ByteCounts& moved) = 0;
    // Writes what add() collected in one transaction; false (and the reason)
    // when the write failed, in which case the bytes stay for the next flush.
    // A file found damaged by the write is set aside and the bytes written to
    // a new one (takeNotice() says so).
    virtual bool flush(std::string& error) = 0;
    // A minute or more since the last flush, on the monotonic clock
    // (PaceSeconds): a wall clock set back holds nothing up. `utc` is not used.
    virtual bool flushDue(std::int64_t utc) const = 0;
    // What the user should be told once, after Open or a flush: that the file
    // was damaged, where it was set aside and what to do. Empty otherwise;
    // each notice is given once.
    virtual std::string takeNotice() { return {}; }

    // The router's counters as the last run left them (when the history
    // was opened), to recover what it counted while vxstat was not running.
    virtual std::optional<CounterMark> storedMark() const { return std::nullopt; }
    // The last reading taken: written with the next flush, beside the bytes
    // counted up to it.
    virtual void keepMark(const CounterMark& /*mark*/) {}
    // Bytes the router counted between `from` and `to` (UTC seconds) while
    // vxstat was not running, spread evenly over that time and marked as
    // recovered. Kept in memory until flush(), like add().
    virtual void addRecovered(std::int64_t /*from*/, std::int64_t /*to*/, const ByteCounts& /*bytes*/) {}

    // Keeps the statistics file's totals as what came before the history, the
    // first time only for this router.
    virtual void keepBeforeHistory(const ByteCounts& totals) = 0;

    // As of `now` (UTC seconds), with days and months cut in local time and the
    // billing month starting on `monthStartDay` (1-28). Includes what is not
    // flushed yet.
    virtual HistorySummary summary(std::int64_t now, int monthStartDay, std::optional<double> quota) const = 0;

    // The highest quota notice (0 none, 80, 100) already shown in the billing
    // month that starts at `monthStart`, so that each is shown once per month,
    // across restarts.
    virtual int quotaNoticeShown(std::int64_t monthStart) const = 0;
    virtual void setQuotaNoticeShown(std::int64_t monthStart, int percent) = 0;
};

// The largest quota taken: 8192 TB, where doubles still count single bytes.
constexpr double kLargestQuota = 9007199254740992.0;
// Open's error when another process keeps the same router's history in the file.
constexpr const char* kHistoryInUse = "another vxstat is keeping this router's history in it";

// "500G", "20 M", "1.5T", "300000k": bytes (k = 1024); nothing for empty or bad
// text, or for more than kLargestQuota.
std::optional<double> ParseQuota(const std::string& text);
// The boot.ini "MonthStart" value: 1-28, anything else 1.
int MonthStartDay(const std::string& text);

// "12.34 MB": bytes in the unit that fits (KB, MB, GB, TB; 1024 each), two decimals.
std::string BytesText(double bytes);

}  // namespace vx
