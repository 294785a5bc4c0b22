// The billing month's quota in the tray: the tip tells how much of it is
// used, and a notice is shown when 80 % and when 100 % are passed, each once
// per billing month, also across restarts (the history remembers).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "history/History.h"

namespace vx {

// What the tray should say and show after a look at the quota.
struct Notice {
    std::string title;
    std::string text;
};
struct QuotaCheck {
    std::optional<std::string> tip;  // the tray's tip, when it was looked at
    std::optional<Notice> notice;    // a notice now due
};

// Bytes in and out this billing month.
double QuotaUsed(const HistorySummary& summary);
// Whole percent of the quota used, rounded down (0 without a quota).
int QuotaPercent(const HistorySummary& summary);
// "123.45 GB of 500.00 GB used this month (24 %)"; empty without a quota.
std::string QuotaText(const HistorySummary& summary);
// The tray tip: `base`, or "base - 24 % of 500.00 GB used" with a quota.
std::string QuotaTip(const std::string& base, const HistorySummary& summary);
// The notice now due (100, 80 or 0 for none), given the highest already shown
// this billing month. Passing both at once shows only the 100 % one.
int QuotaNoticeDue(int percentUsed, int alreadyShown);
// The notice for `due` (80 or 100) in the words of the summary's figures.
Notice QuotaNotice(int due, const HistorySummary& summary);

class QuotaWatch {
public:
    QuotaWatch(std::string baseTip, int monthStartDay, std::optional<double> quota)
        : baseTip_(std::move(baseTip)), monthStartDay_(monthStartDay), quota_(quota) {}

    bool enabled() const { return quota_.has_value(); }
    // Looks at the history at most once a minute (by `now`, UTC seconds): the
    // tray's tip and a notice that is due. Nothing without a quota.
    QuotaCheck check(History& history, std::int64_t now);

private:
    std::string baseTip_;
    int monthStartDay_;
    std::optional<double> quota_;
    std::optional<std::int64_t> lastMinute_;
};

}  // namespace vx
