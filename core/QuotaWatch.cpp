#include "core/QuotaWatch.h"

#include <cmath>

namespace vx {

double QuotaUsed(const HistorySummary& summary) { return summary.thisMonth.in + summary.thisMonth.out; }

int QuotaPercent(const HistorySummary& summary) {
    if (!summary.quota || !(*summary.quota > 0)) return 0;
    const double percent = std::floor(QuotaUsed(summary) / *summary.quota * 100);
    if (!std::isfinite(percent) || percent < 0) return 0;
    return percent > 1e6 ? 1000000 : static_cast<int>(percent);
}

std::string QuotaText(const HistorySummary& summary) {
    if (!summary.quota) return {};
    return BytesText(QuotaUsed(summary)) + " of " + BytesText(*summary.quota) + " used this month (" +
           std::to_string(QuotaPercent(summary)) + " %)";
}

std::string QuotaTip(const std::string& base, const HistorySummary& summary) {
    if (!summary.quota) return base;
    return base + " - " + std::to_string(QuotaPercent(summary)) + " % of " + BytesText(*summary.quota) + " used";
}

int QuotaNoticeDue(int percentUsed, int alreadyShown) {
    if (percentUsed >= 100 && alreadyShown < 100) return 100;
    if (percentUsed >= 80 && alreadyShown < 80) return 80;
    return 0;
}

QuotaCheck QuotaWatch::check(History& history, std::int64_t now) {
    if (!quota_) return {};
    const std::int64_t minute = now / 60 - (now % 60 < 0 ? 1 : 0);
    if (lastMinute_ && *lastMinute_ == minute) return {};
    lastMinute_ = minute;

    const HistorySummary summary = history.summary(now, monthStartDay_, quota_);
    QuotaCheck result{QuotaTip(baseTip_, summary), std::nullopt};
    const int due = QuotaNoticeDue(QuotaPercent(summary), history.quotaNoticeShown(summary.monthStart));
    if (due == 0) return result;
    // Remembered first: a notice that cannot be shown is not retried every minute.
    history.setQuotaNoticeShown(summary.monthStart, due);
    result.notice = QuotaNotice(due, summary);
    return result;
}

Notice QuotaNotice(int due, const HistorySummary& summary) {
    const std::string text = due >= 100
                                 ? "This month's traffic has passed the quota: " + QuotaText(summary) + "."
                                 : "This month's traffic has passed 80 % of the quota: " + QuotaText(summary) + ".";
    return Notice{due >= 100 ? "Quota used up" : "Quota 80 % used", text};
}

}  // namespace vx
