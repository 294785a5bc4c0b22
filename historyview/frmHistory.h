// "Traffic History": today, yesterday, this and last billing month, the
// quota's use, and bar charts of the last 24 hours and the last 30 days.
// Redrawn once a minute while it is open; nothing of it exists while closed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chart/BarChart.h"
#include "forms/form.h"
#include "history/History.h"

namespace vx {

// Where the window gets its figures: none when no history is kept.
using SummaryProvider = std::function<std::optional<HistorySummary>()>;

class frmHistory : public Form {
public:
    explicit frmHistory(SummaryProvider provider);

    // One row per period: in, out, total.
    struct Row {
        platform::Label* in;
        platform::Label* out;
        platform::Label* total;
    };
    std::array<Row, 4> rows{};  // today, yesterday, this month, last month
    platform::Label& lblQuota;
    platform::Label& lblRecovered;  // what of the periods was counted while vxstat was not running
    platform::Chart& chartHours;
    platform::Chart& chartDays;
    platform::Timer& Timer;

    // Asks for the figures again and shows them.
    void Refresh();

protected:
    void Form_Load() override;
    void Form_Unload(int& cancel) override;

private:
    struct Built;
    frmHistory(Built&& built, SummaryProvider provider);

    SummaryProvider provider_;
};

// "Counted while vxstat was not running: 1.20 MB today, 3.40 GB this month":
// the periods with recovered bytes; empty when none has any.
std::string RecoveredText(const HistorySummary& summary);

// Opens the window, or brings the open one to the front.
void ShowHistory(const SummaryProvider& provider);

// The bars of the charts, labelled with the local hour ("00".."23") and the
// local day of the month ("1".."31") each period starts at.
std::vector<ChartBar> HourBars(const std::vector<HistoryBar>& hours);
std::vector<ChartBar> DayBars(const std::vector<HistoryBar>& days);

}  // namespace vx
